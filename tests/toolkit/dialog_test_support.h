// A small dialog for the host's tests: a radio group, a check box, a
// push-like box, a static text, a slider and a number box over two
// placeholders, and Close. Its procedure records what reaches it.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "engine/dialog.h"

namespace corvane::tk {

inline constexpr std::int32_t kTestDialogId = 900;

inline const DialogTemplate& testDialog() {
  static constexpr std::array<ControlTemplate, 9> controls{{
      {kNoControlId, ControlKind::GroupBox, {5, 3, 200, 60}, "Source"},
      {11, ControlKind::RadioButton, {10, 14, 60, 10}, "Left"},
      {12, ControlKind::RadioButton, {10, 24, 60, 10}, "Right"},
      {13, ControlKind::CheckBox, {10, 40, 80, 10}, "Keep"},
      {14, ControlKind::PushLikeCheckBox, {100, 14, 30, 12}, "3"},
      {20, ControlKind::StaticText, {10, 70, 150, 8}, "Static"},
      {30, ControlKind::Placeholder, {10, 90, 120, 10}, ""},
      {31, ControlKind::Placeholder, {140, 90, 30, 10}, ""},
      {kCommandCancel, ControlKind::DefaultPushButton, {150, 110, 40, 14}, "Close"},
  }};
  static constexpr DialogTemplate dialog{kTestDialogId, "Test", {0, 0, 210, 130}, controls};
  return dialog;
}

class TestProcedure : public DialogProcedure {
 public:
  explicit TestProcedure(mFLT64& phase, bool endsOnClose = true) : phase_(phase), endsOnClose_(endsOnClose) {}

  void onOpen(DialogWindow& window) override {
    events.push_back("open");
    window.setItemText(20, "hello");
    window.setChecked(11, true);
    phase_.AddDependant(&window);
    const DialogRect s = window.itemRect(30);
    slider->OpenControl(&window, static_cast<std::uint32_t>(s.x), static_cast<std::uint32_t>(s.y),
                        static_cast<float>(s.width), static_cast<float>(s.height), 0, &phase_, &low_, &high_,
                        nullptr, nullptr, nullptr);
    const DialogRect e = window.itemRect(31);
    edit->OpenControl(&window, static_cast<std::uint32_t>(e.x), static_cast<std::uint32_t>(e.y),
                      static_cast<float>(e.width), static_cast<float>(e.height), &phase_);
  }
  void onCommand(DialogWindow& window, std::int32_t id) override {
    events.push_back("command " + std::to_string(id));
    if (id == kCommandCancel && endsOnClose_) {
      phase_.DeleteDependant(&window);
      window.endDialog(5);
    }
  }
  void onChanged(DialogWindow&) override { events.push_back("changed " + std::to_string(phase_.Get())); }

  std::vector<std::string> events;
  // Kept after the dialog, as the plug-in's dialogs keep theirs.
  std::unique_ptr<TKSlider> slider = std::make_unique<TKSlider>();
  std::unique_ptr<TKFLT64Edit> edit = std::make_unique<TKFLT64Edit>();

 private:
  mFLT64& phase_;
  bool endsOnClose_;
  mFLT64 low_{-127.0};
  mFLT64 high_{127.0};
};

}  // namespace corvane::tk
