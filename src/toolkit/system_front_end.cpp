// The system's own dialog as a front end: the same ModalDialog feeds the
// procedure, attached to the real window so that ticks and texts live in the
// real controls. Value controls are mirrored onto a trackbar or edit control
// over their placeholder after every change.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "platform/native_dialog.h"
#include "toolkit/front_ends.h"

namespace corvane::tk::detail {
namespace {

int wholePosition(double value) {
  if (!std::isfinite(value)) return 0;
  return static_cast<int>(std::lround(std::clamp(value, -2147483647.0, 2147483647.0)));
}

class SystemRun final : public platform::NativeDialogEvents {
 public:
  SystemRun(const DialogTemplate& dialog, DialogProcedure& procedure, DialogLog& log,
            std::optional<std::vector<ScriptAction>> actions)
      : window_(dialog, procedure, log), actions_(std::move(actions)) {}

  ModalDialog& window() { return window_; }

  void onOpen(platform::NativeDialog& native) override {
    native_ = &native;
    window_.attach(&native);
    window_.onRedraw = [this] { mirrorValueControls(); };
    window_.open();
    if (actions_ && !window_.ended()) native.resumeAfter(0);
  }

  void onCommand(std::int32_t id) override {
    window_.command(id);
    if (actions_) return;  // the script logs after its own action
    // A user's Escape or close box ends the dialog even if the procedure would not.
    if (id == kCommandCancel && !window_.ended()) window_.endDialog(kCommandCancel);
    window_.actionDone();
  }

  void onSliderMoved(std::int32_t placeholderId, int position) override {
    TKValueControl* control = valueControlAt(placeholderId);
    if (control == nullptr) return;
    control->SetValue(position);
    if (!actions_) window_.actionDone();
  }

  void onNumberTyped(std::int32_t placeholderId, std::string_view text, bool finished) override {
    auto* box = dynamic_cast<TKFLT64Edit*>(valueControlAt(placeholderId));
    if (box == nullptr) return;
    // While the user types, the box keeps their text ("1." on the way to
    // "1.5"); on leaving it shows the value as every front end does, also
    // when what was typed was no number. Text that shows the value already
    // changes nothing: leaving a box that shows 1.23457 must not cut a value
    // of 1.2345678 down to it.
    bool set = false;
    if (text != formatValue(box->GetValue())) {
      typing_ = finished ? kNoControlId : placeholderId;
      set = box->SetEditString(text);
      typing_ = kNoControlId;
    }
    if (!finished) {
      typedSinceLeaving_ = typedSinceLeaving_ || set;
      return;
    }
    mirrorValueControls();
    // One state for what was typed, once the user leaves the box.
    const bool typed = set || typedSinceLeaving_;
    typedSinceLeaving_ = false;
    if (!actions_ && typed) window_.actionDone();
  }

  void onTick() override { toolkitServices().dispatchPostedMessages(); }

  void onResume() override {
    if (window_.ended()) return;
    // A message loop inside an action (a procedure's message box) may bring
    // the next resume early: the script goes on once that action is done.
    if (playing_) {
      native_->resumeAfter(kRetryMs);
      return;
    }
    playing_ = true;
    resume();
    playing_ = false;
  }

  void onClose() override {
    window_.onRedraw = nullptr;
    window_.attach(nullptr);
    native_ = nullptr;
  }

 private:
  static constexpr std::uint32_t kRetryMs = 10;

  void resume() {
    if (waiting_) {
      // A wait's end counts as its action done.
      waiting_ = false;
      toolkitServices().dispatchPostedMessages();
      if (window_.ended()) return;
      window_.actionDone();
    }
    while (next_ < actions_->size()) {
      const ScriptAction action = (*actions_)[next_++];
      if (action.kind == ScriptAction::Kind::Wait) {
        waiting_ = true;
        native_->resumeAfter(action.milliseconds);
        return;
      }
      play(action);
      toolkitServices().dispatchPostedMessages();
      if (window_.ended()) return;
      window_.actionDone();
    }
    window_.escape();
  }

  void play(const ScriptAction& action) {
    const std::int32_t resource = window_.dialogTemplate().resourceId;
    switch (action.kind) {
      case ScriptAction::Kind::Click:
        if (!window_.click(action.id))
          std::fprintf(stderr, "Corvane: dialog %d has no control %d to click\n", resource, action.id);
        break;
      case ScriptAction::Kind::Set:
        if (!setAsUser(action.id, action.value))
          std::fprintf(stderr, "Corvane: dialog %d has no slider or number box over %d\n", resource,
                       action.id);
        break;
      case ScriptAction::Kind::Close:
        window_.command(kCommandCancel);
        break;
      case ScriptAction::Kind::Wait:
        break;  // the resume loop handles it
    }
  }

  // Through the real control where it can hold the value: the number box
  // takes the shortest text that reads back as exactly value; the knob takes
  // a whole position in its range. A value the knob cannot show is set as
  // typed, as everywhere else.
  bool setAsUser(std::int32_t placeholderId, double value) {
    TKValueControl* control = valueControlAt(placeholderId);
    if (control == nullptr) return false;
    if (dynamic_cast<TKFLT64Edit*>(control) != nullptr) {
      char text[64];
      for (int digits = 1; digits <= 17; ++digits) {
        std::snprintf(text, sizeof text, "%.*g", digits, value);
        if (std::strtod(text, nullptr) == value) break;
      }
      if (native_->typeNumber(placeholderId, text)) return true;
    } else if (value == std::floor(value) && std::fabs(value) < 2147483647.0 &&
               native_->moveSlider(placeholderId, static_cast<int>(value))) {
      return true;
    }
    control->SetValue(value);
    return true;
  }

  TKValueControl* valueControlAt(std::int32_t placeholderId) const {
    const auto& controls = window_.dialogTemplate().controls;
    for (std::size_t i = 0; i < controls.size(); ++i) {
      if (controls[i].id == placeholderId) return window_.controlOver(i);
    }
    return nullptr;
  }

  void mirrorValueControls() {
    if (native_ == nullptr) return;
    const auto& controls = window_.dialogTemplate().controls;
    for (std::size_t i = 0; i < controls.size(); ++i) {
      TKValueControl* control = window_.controlOver(i);
      if (control == nullptr) continue;
      const std::int32_t id = controls[i].id;
      if (auto* slider = dynamic_cast<TKSlider*>(control)) {
        const int low = wholePosition(std::min(slider->low(), slider->high()));
        const int high = wholePosition(std::max(slider->low(), slider->high()));
        native_->showSlider(id, low, high, std::clamp(wholePosition(slider->GetValue()), low, high));
      } else if (id != typing_) {
        native_->showNumberBox(id, formatValue(control->GetValue()));
      }
    }
  }

  ModalDialog window_;
  std::optional<std::vector<ScriptAction>> actions_;
  platform::NativeDialog* native_ = nullptr;
  std::size_t next_ = 0;
  bool waiting_ = false;
  std::int32_t typing_ = kNoControlId;
  bool typedSinceLeaving_ = false;
  bool playing_ = false;
};

}  // namespace

std::optional<std::int32_t> runSystemDialog(const DialogTemplate& dialog, DialogProcedure& procedure,
                                            DialogLog& log, std::optional<std::vector<ScriptAction>> actions,
                                            SystemDialogRunner runner) {
  SystemRun run(dialog, procedure, log, std::move(actions));
  if (!runner(dialog.resourceId, run)) return std::nullopt;
  // Ended by a system close with the procedure never asked: as Escape.
  if (!run.window().ended()) run.window().escape();
  return run.window().finish();
}

}  // namespace corvane::tk::detail
