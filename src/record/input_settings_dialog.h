// The modal "Input Settings" dialog (resource 101): the input source, the
// eight picture rows of the current source, whether a take stops on dropped
// frames, and the input preview. Every change of a bound variable comes back
// as a change message, on which the dialog rebinds its rows to the current
// source and sends that source's settings to the board.
#pragma once

#include <cstdint>

#include "engine/dialog.h"
#include "exports/services.h"
#include "record/input_controls.h"
#include "record/input_dialog_template.h"

namespace corvane::record {

inline constexpr const char* kRecordCallbackCaption = "VeltrixRecordCallback";

const tk::DialogTemplate& inputDialogTemplate();

class InputSettingsProcedure final : public tk::DialogProcedure {
 public:
  InputSettingsProcedure(exports::Services& services, InputColourControls& controls);
  void onOpen(tk::DialogWindow& window) override;
  void onCommand(tk::DialogWindow& window, std::int32_t id) override;
  void onChanged(tk::DialogWindow& window) override;

 private:
  void showSource(tk::DialogWindow& window);
  void forEachVariable(tk::DialogWindow& window, bool add);
  void selectSource(std::int32_t source);
  void stopPreview();
  void startPreview();
  void close(tk::DialogWindow& window);
  bool pedestal();

  exports::Services& services_;
  InputColourControls& controls_;
  InputSwitcher board_;
};

// Shows the dialog modally and returns once it is closed.
void showInputSettingsDialog(exports::Services& services);

}  // namespace corvane::record
