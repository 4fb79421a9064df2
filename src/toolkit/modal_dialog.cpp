#include "toolkit/modal_dialog.h"

#include <algorithm>

namespace corvane::tk::detail {
namespace {

bool isTickable(ControlKind kind) {
  return kind == ControlKind::CheckBox || kind == ControlKind::PushLikeCheckBox ||
         kind == ControlKind::RadioButton;
}

bool contains(const DialogRect& r, std::uint32_t x, std::uint32_t y) {
  const auto sx = static_cast<std::int64_t>(x);
  const auto sy = static_cast<std::int64_t>(y);
  return sx >= r.x && sx < std::int64_t{r.x} + std::max(r.width, 1) && sy >= r.y &&
         sy < std::int64_t{r.y} + std::max(r.height, 1);
}

}  // namespace

ModalDialog::ModalDialog(const DialogTemplate& dialog, DialogProcedure& procedure, DialogLog& log)
    : template_(dialog), procedure_(procedure), log_(log), checked_(dialog.controls.size(), false) {
  for (const ControlTemplate& control : dialog.controls) texts_.emplace_back(control.text);
}

ModalDialog::~ModalDialog() {
  endDeliveries();
  // A copy: each release takes the control out of the list.
  for (TKValueControl* control : std::vector<TKValueControl*>(controls_))
    control->DeleteAdditionalDependancies();
}

void ModalDialog::open() {
  log_.append("open " + std::to_string(template_.resourceId));
  opening_ = true;
  procedure_.onOpen(*this);
  opening_ = false;
  for (std::int32_t id : textsSetOnOpen_) {
    const std::string text =
        native_ != nullptr ? native_->text(id) : texts_[static_cast<std::size_t>(indexOf(id))];
    log_.append("text " + std::to_string(template_.resourceId) + " " + std::to_string(id) + " " + text);
  }
  actionDone();
}

bool ModalDialog::click(std::int32_t id) {
  const std::ptrdiff_t index = indexOf(id);
  if (index < 0) return false;
  // The system's button changes itself and hands its command back (command).
  if (native_ != nullptr) return native_->click(id);
  const auto at = static_cast<std::size_t>(index);
  const ControlKind kind = template_.controls[at].kind;
  if (kind == ControlKind::RadioButton) {
    // The group: the run of radio buttons around this one.
    std::size_t first = at;
    while (first > 0 && template_.controls[first - 1].kind == ControlKind::RadioButton) --first;
    for (std::size_t i = first; i < template_.controls.size(); ++i) {
      if (template_.controls[i].kind != ControlKind::RadioButton) break;
      checked_[i] = i == at;
    }
  } else if (isTickable(kind)) {
    checked_[at] = !checked_[at];
  }
  command(id);
  return true;
}

void ModalDialog::command(std::int32_t id) {
  if (!ended_) procedure_.onCommand(*this, id);
  if (onRedraw) onRedraw();
}

bool ModalDialog::setValueAt(std::int32_t placeholderId, double value) {
  const std::ptrdiff_t index = indexOf(placeholderId);
  if (index < 0) return false;
  TKValueControl* control = controlOver(static_cast<std::size_t>(index));
  if (control == nullptr) return false;
  control->SetValue(value);
  return true;
}

void ModalDialog::escape() {
  command(kCommandCancel);
  // A procedure that ignores the cancel command would never let go otherwise.
  if (!ended_) endDialog(kCommandCancel);
}

void ModalDialog::actionDone() {
  if (!ended_) logState();
}

std::int32_t ModalDialog::finish() {
  for (TKValueControl* control : std::vector<TKValueControl*>(controls_))
    control->DeleteAdditionalDependancies();
  log_.append("close " + std::to_string(template_.resourceId) + " " + std::to_string(result_));
  return result_;
}

TKValueControl* ModalDialog::controlOver(std::size_t index) const {
  const ControlTemplate& placeholder = template_.controls[index];
  if (placeholder.kind != ControlKind::Placeholder) return nullptr;
  for (TKValueControl* control : controls_) {
    if (contains(placeholder.rect, control->left(), control->top())) return control;
  }
  return nullptr;
}

void ModalDialog::setItemText(std::int32_t id, std::string_view text) {
  const std::ptrdiff_t index = indexOf(id);
  if (index < 0) return;
  texts_[static_cast<std::size_t>(index)] = std::string(text);
  if (native_ != nullptr) native_->setText(id, text);
  const bool isStatic = template_.controls[static_cast<std::size_t>(index)].kind == ControlKind::StaticText;
  if (opening_ && isStatic &&
      std::find(textsSetOnOpen_.begin(), textsSetOnOpen_.end(), id) == textsSetOnOpen_.end()) {
    textsSetOnOpen_.push_back(id);
  }
  if (onRedraw) onRedraw();
}

bool ModalDialog::isChecked(std::int32_t id) const {
  const std::ptrdiff_t index = indexOf(id);
  if (index < 0) return false;
  if (native_ != nullptr) return native_->checked(id);
  return checked_[static_cast<std::size_t>(index)];
}

void ModalDialog::setChecked(std::int32_t id, bool checked) {
  const std::ptrdiff_t index = indexOf(id);
  if (index < 0 || !isTickable(template_.controls[static_cast<std::size_t>(index)].kind)) return;
  checked_[static_cast<std::size_t>(index)] = checked;
  if (native_ != nullptr) native_->setChecked(id, checked);
  if (onRedraw) onRedraw();
}

DialogRect ModalDialog::itemRect(std::int32_t id) const {
  const std::ptrdiff_t index = indexOf(id);
  return index < 0 ? DialogRect{} : template_.controls[static_cast<std::size_t>(index)].rect;
}

void ModalDialog::endDialog(std::int32_t result) {
  if (ended_) return;
  ended_ = true;
  result_ = result;
  if (native_ != nullptr) native_->end(result);
}

void ModalDialog::onToolkitMessage(std::int32_t message, ToolkitUI*) {
  if (message != kMessageChanged || ended_) return;
  procedure_.onChanged(*this);
  if (onRedraw) onRedraw();
}

void ModalDialog::adopt(TKValueControl& control) {
  if (std::find(controls_.begin(), controls_.end(), &control) == controls_.end())
    controls_.push_back(&control);
  if (onRedraw) onRedraw();
}

void ModalDialog::forget(TKValueControl& control) {
  if (native_ != nullptr) {
    const std::int32_t placeholder = placeholderOf(control);
    if (placeholder != kNoControlId) native_->removeValueControl(placeholder);
  }
  controls_.erase(std::remove(controls_.begin(), controls_.end(), &control), controls_.end());
}

void ModalDialog::valueControlChanged() {
  if (onRedraw) onRedraw();
}

std::int32_t ModalDialog::placeholderOf(const TKValueControl& control) const {
  for (std::size_t i = 0; i < template_.controls.size(); ++i) {
    if (controlOver(i) == &control) return template_.controls[i].id;
  }
  return kNoControlId;
}

std::ptrdiff_t ModalDialog::indexOf(std::int32_t id) const {
  if (id == kNoControlId) return -1;
  for (std::size_t i = 0; i < template_.controls.size(); ++i) {
    if (template_.controls[i].id == id) return static_cast<std::ptrdiff_t>(i);
  }
  return -1;
}

void ModalDialog::logState() {
  std::string line = "state " + std::to_string(template_.resourceId);
  for (std::size_t i = 0; i < template_.controls.size(); ++i) {
    const ControlTemplate& control = template_.controls[i];
    if (isTickable(control.kind)) {
      line += " " + std::to_string(control.id) + "=" +
              ((native_ != nullptr ? native_->checked(control.id) : checked_[i]) ? "1" : "0");
    } else if (TKValueControl* value = controlOver(i)) {
      line += " " + std::to_string(control.id) + "=" + valueText(control.id, *value);
    }
  }
  log_.append(line);
}

// A number box shows its value as text, and a system one is read back. A
// slider's knob only takes whole positions, so the log gives its bound value.
std::string ModalDialog::valueText(std::int32_t placeholderId, TKValueControl& control) const {
  if (native_ != nullptr && dynamic_cast<TKFLT64Edit*>(&control) != nullptr)
    return native_->numberText(placeholderId);
  return formatValue(control.GetValue());
}

}  // namespace corvane::tk::detail
