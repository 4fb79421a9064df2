// The dialog host: runs a template modally through a front end. The front
// end is chosen per dialog by CORVANE_DIALOGS: "none" closes the dialog at
// once as Escape does, "tty" draws it in the terminal and reads the keyboard,
// "script:PATH" plays the actions PATH holds for it. Where the system has
// dialogs of its own (Windows), the real dialog is shown, to the user when
// the variable is unset or "tty", and "none" and scripts drive its real
// controls; elsewhere unset means "none".
#pragma once

#include <cstdint>

#include "engine/dialog.h"
#include "platform/clock.h"
#include "toolkit/dialog_log.h"
#include "toolkit/modal_dialog.h"

namespace corvane::tk::detail {

// Plays a user's part until the dialog has ended or the user has nothing
// more to do (the host then closes it as Escape does).
class DialogFrontEnd {
 public:
  virtual ~DialogFrontEnd() = default;
  virtual void drive(ModalDialog& dialog) = 0;
};

// Opens the dialog, lets the front end drive it, closes it; the result.
std::int32_t runDialog(const DialogTemplate& dialog, DialogProcedure& procedure, DialogFrontEnd& frontEnd,
                       DialogLog& log);

// The same with the front end and log the environment names.
std::int32_t runDialogFromEnvironment(const DialogTemplate& dialog, DialogProcedure& procedure);

// Waits ms on clock while delivering posted messages, as a modal loop does.
void pumpMessagesFor(platform::Clock& clock, std::uint32_t ms);

}  // namespace corvane::tk::detail
