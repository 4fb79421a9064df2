// The modal "Output Settings" dialog (resource 102): the output source, frame
// dropping, the output preview at start, the video standard, the pedestal,
// the SC phase and the output filter, bound to the output settings. Every
// change of a bound variable comes back as a change message, on which the
// dialog redraws and pushes the output controls to the board.
#pragma once

#include <cstdint>

#include "engine/dialog.h"
#include "exports/services.h"
#include "sink/output_dialog_template.h"

namespace corvane::sink {

inline constexpr const char* kSinkCallbackCaption = "VeltrixSinkCallback";

const tk::DialogTemplate& outputDialogTemplate();

class OutputSettingsProcedure final : public tk::DialogProcedure {
 public:
  explicit OutputSettingsProcedure(exports::Services& services) : services_(services) {}
  void onOpen(tk::DialogWindow& window) override;
  void onCommand(tk::DialogWindow& window, std::int32_t id) override;
  void onChanged(tk::DialogWindow& window) override;

 private:
  void refresh(tk::DialogWindow& window);
  void tickFilter(tk::DialogWindow& window);
  void switchSource(std::int32_t output, std::int32_t format);
  void forEachVariable(tk::DialogWindow& window, bool add);

  exports::Services& services_;
};

// Shows the dialog modally and returns once it is closed.
void showOutputSettingsDialog(exports::Services& services);

}  // namespace corvane::sink
