#include "toolkit/dialog_screen.h"

#include <algorithm>
#include <cmath>

namespace corvane::tk::detail {
namespace {

constexpr int kUnitsPerColumn = 4;
constexpr int kUnitsPerRow = 10;

int column(std::int32_t x) { return 1 + std::max(0, x) / kUnitsPerColumn; }
int row(std::int32_t y) { return 1 + std::max(0, y) / kUnitsPerRow; }

class Canvas {
 public:
  Canvas(int columns, int rows)
      : lines_(static_cast<std::size_t>(rows), std::string(static_cast<std::size_t>(columns), ' ')) {}

  int columns() const { return static_cast<int>(lines_.front().size()); }
  int rows() const { return static_cast<int>(lines_.size()); }

  // Clipped at the edges, so the frame can be drawn last and stays whole.
  void put(int x, int y, std::string_view text, int limit = -1) {
    if (y < 0 || y >= rows()) return;
    const int end = limit < 0 ? columns() : std::min(columns(), x + limit);
    for (std::size_t i = 0; i < text.size() && x + static_cast<int>(i) < end; ++i) {
      if (x + static_cast<int>(i) >= 0)
        lines_[static_cast<std::size_t>(y)][static_cast<std::size_t>(x) + i] = text[i];
    }
  }

  void frame(int left, int top, int right, int bottom, std::string_view title) {
    for (int x = left; x <= right; ++x) {
      put(x, top, "-");
      put(x, bottom, "-");
    }
    for (int y = top; y <= bottom; ++y) {
      put(left, y, "|");
      put(right, y, "|");
    }
    for (int x : {left, right}) {
      put(x, top, "+");
      put(x, bottom, "+");
    }
    if (!title.empty()) put(left + 2, top, " " + std::string(title) + " ", right - left - 3);
  }

  std::vector<std::string> lines() && { return std::move(lines_); }

 private:
  std::vector<std::string> lines_;
};

// Words over as many lines as the rectangle has, each at most width long.
std::vector<std::string> wrapped(std::string_view text, int width, int lines) {
  std::vector<std::string> out(1);
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find(' ', at);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view word = text.substr(at, end - at);
    at = end + 1;
    if (!out.back().empty() && static_cast<int>(out.back().size() + 1 + word.size()) > width) {
      if (static_cast<int>(out.size()) == lines) break;
      out.emplace_back();
    }
    if (!out.back().empty()) out.back() += ' ';
    out.back() += word;
  }
  return out;
}

std::string slider(TKSlider& control, int width) {
  const std::string number = formatValue(control.GetValue());
  const int track = std::max(3, width - static_cast<int>(number.size()) - 3);
  std::string out = "[" + std::string(static_cast<std::size_t>(track), '-') + "] " + number;
  const double lo = std::min(control.low(), control.high());
  const double hi = std::max(control.low(), control.high());
  const double share = hi > lo ? std::clamp((control.GetValue() - lo) / (hi - lo), 0.0, 1.0) : 0.0;
  out[1 + static_cast<std::size_t>(std::lround(share * (track - 1)))] = 'O';
  return out;
}

std::string numberBox(TKValueControl& control, int width, const std::optional<std::string>& editing) {
  const std::string shown = editing ? *editing + "_" : formatValue(control.GetValue());
  std::string inner = shown;
  inner.resize(static_cast<std::size_t>(std::max(static_cast<int>(shown.size()), width - 2)), ' ');
  return "[" + inner + "]";
}

}  // namespace

std::vector<std::size_t> focusableControls(const ModalDialog& dialog) {
  std::vector<std::size_t> out;
  const auto& controls = dialog.dialogTemplate().controls;
  for (std::size_t i = 0; i < controls.size(); ++i) {
    switch (controls[i].kind) {
      case ControlKind::CheckBox:
      case ControlKind::PushLikeCheckBox:
      case ControlKind::RadioButton:
      case ControlKind::PushButton:
      case ControlKind::DefaultPushButton:
        out.push_back(i);
        break;
      case ControlKind::Placeholder:
        if (dialog.controlOver(i) != nullptr) out.push_back(i);
        break;
      default:
        break;
    }
  }
  return out;
}

std::vector<std::string> drawDialog(const ModalDialog& dialog, const ScreenFocus& focus) {
  const DialogTemplate& t = dialog.dialogTemplate();
  const int right = column(t.size.width - 1) + 1;
  const int bottom = row(t.size.height - 1) + 1;
  Canvas canvas(right + 1, bottom + 1);
  for (std::size_t i = 0; i < t.controls.size(); ++i) {
    const ControlTemplate& c = t.controls[i];
    const int x = column(c.rect.x);
    const int y = row(c.rect.y);
    const int width = std::max(1, c.rect.width / kUnitsPerColumn);
    const int height = std::max(1, row(c.rect.y + c.rect.height - 1) - y + 1);
    const std::string& text = dialog.textOf(i);
    const bool ticked = dialog.checkedAt(i);
    switch (c.kind) {
      case ControlKind::GroupBox:
        canvas.frame(x, y, column(c.rect.x + c.rect.width - 1), row(c.rect.y + c.rect.height - 1), text);
        break;
      case ControlKind::StaticText: {
        // A one-line label may run on past its rectangle, as it reads better
        // than a clipped word; longer texts wrap inside it.
        const auto lines = wrapped(text, height == 1 ? right - x : width, height);
        for (std::size_t n = 0; n < lines.size(); ++n)
          canvas.put(x, y + static_cast<int>(n), lines[n], right - x);
        break;
      }
      case ControlKind::CheckBox:
        canvas.put(x, y, std::string(ticked ? "[x] " : "[ ] ") + text, right - x);
        break;
      case ControlKind::RadioButton:
        canvas.put(x, y, std::string(ticked ? "(*) " : "( ) ") + text, right - x);
        break;
      case ControlKind::PushLikeCheckBox:
        canvas.put(x, y, ticked ? "[*" + text + "*]" : "[ " + text + " ]", right - x);
        break;
      case ControlKind::PushButton:
      case ControlKind::DefaultPushButton:
        canvas.put(x, y, "< " + text + " >", right - x);
        break;
      case ControlKind::Placeholder:
        if (TKValueControl* control = dialog.controlOver(i)) {
          if (auto* s = dynamic_cast<TKSlider*>(control)) {
            canvas.put(x, y, slider(*s, width), right - x);
          } else {
            const bool edited = focus.control == i;
            canvas.put(x, y, numberBox(*control, width, edited ? focus.editing : std::nullopt), right - x);
          }
        }
        break;
    }
    if (focus.control == i) canvas.put(x - 1, y, ">");
  }
  canvas.frame(0, 0, right, bottom, t.caption);
  return std::move(canvas).lines();
}

}  // namespace corvane::tk::detail
