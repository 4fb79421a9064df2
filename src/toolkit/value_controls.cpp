#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/dialog.h"
#include "toolkit/modal_dialog.h"

namespace corvane::tk {

TKValueControl::~TKValueControl() {
  endDeliveries();
  DeleteAdditionalDependancies();
}

void TKValueControl::ChangeVariable(mFLT64* value) {
  if (value == value_) return;
  if (value_ != nullptr) value_->DeleteDependant(this);
  value_ = value;
  if (value_ != nullptr) value_->AddDependant(this);
  if (host_ != nullptr) host_->valueControlChanged();
}

double TKValueControl::GetValue() { return value_ != nullptr ? value_->Get() : 0.0; }

void TKValueControl::SetValue(double value) {
  if (value_ != nullptr) value_->Set(value, this, false);
}

void TKValueControl::DeleteAdditionalDependancies() {
  if (value_ != nullptr) value_->DeleteDependant(this);
  value_ = nullptr;
  if (host_ != nullptr) host_->forget(*this);
  host_ = nullptr;
}

void TKValueControl::onToolkitMessage(std::int32_t message, ToolkitUI*) {
  if (message == kMessageChanged && host_ != nullptr) host_->valueControlChanged();
}

void TKValueControl::open(HWND parent, std::uint32_t x, std::uint32_t y, mFLT64* value) {
  DeleteAdditionalDependancies();  // opened again: the old window goes first
  x_ = x;
  y_ = y;
  host_ = dynamic_cast<detail::ModalDialog*>(parent);
  ChangeVariable(value);
  if (host_ != nullptr) host_->adopt(*this);
}

void TKSlider::OpenControl(HWND parent, std::uint32_t x, std::uint32_t y, float, float, std::uint32_t,
                           mFLT64* value, mFLT64* low, mFLT64* high, mFLT64*, mFLT64*, const char*) {
  low_ = low;
  high_ = high;
  open(parent, x, y, value);
}

double TKSlider::low() { return low_ != nullptr ? low_->Get() : 0.0; }

double TKSlider::high() { return high_ != nullptr ? high_->Get() : 0.0; }

double TKSlider::stepped(int direction, double step) {
  const double lo = std::min(low(), high());
  const double hi = std::max(low(), high());
  // A knob sits on whole steps: a value between two moves to the next one.
  const double current = GetValue();
  const double next =
      direction < 0 ? std::ceil(current / step) * step - step : std::floor(current / step) * step + step;
  return std::clamp(next, lo, hi);
}

void TKFLT64Edit::OpenControl(HWND parent, std::uint32_t x, std::uint32_t y, float, float, mFLT64* value) {
  open(parent, x, y, value);
}

std::string TKFLT64Edit::GetEditString() { return detail::formatValue(GetValue()); }

bool TKFLT64Edit::SetEditString(std::string_view text) {
  const std::string copy(text);
  char* end = nullptr;
  const double value = std::strtod(copy.c_str(), &end);
  if (copy.empty() || end != copy.c_str() + copy.size() || !std::isfinite(value)) return false;
  SetValue(value);
  return true;
}

}  // namespace corvane::tk
