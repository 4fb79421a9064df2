// The modal "Warning !" dialog (resource 103): a text, a "Do not show this
// message again" box and OK. The refresh-rate check shows it at load, and the
// output device's start-up failure with its own text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/dialog.h"
#include "plugin/warning_dialog_template.h"

namespace corvane::plugin {

// The caption a failure inside the dialog procedure is shown under.
inline constexpr const char* kWarningCallbackCaption = "VeltrixWarningCallback";

const tk::DialogTemplate& warningDialogTemplate();

// The procedure: shows text on opening; OK or cancel note whether the box is
// ticked and end the dialog.
class WarningDialogProcedure final : public tk::DialogProcedure {
 public:
  explicit WarningDialogProcedure(std::string_view text);
  void onOpen(tk::DialogWindow& window) override;
  void onCommand(tk::DialogWindow& window, std::int32_t id) override;
  void onChanged(tk::DialogWindow&) override {}
  bool doNotShowAgain() const { return doNotShowAgain_; }

 private:
  std::string text_;
  bool doNotShowAgain_ = false;
};

// Shows text modally (at most 1023 characters of it, as the dialog's buffer
// holds); whether the box was ticked when it closed.
bool showWarningDialog(std::string_view text);

}  // namespace corvane::plugin
