// The dialog host's front ends other than "none" (which is no front end at
// all: the host closes the dialog as Escape does).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/clock.h"
#include "platform/native_dialog.h"
#include "platform/terminal.h"
#include "toolkit/dialog_host.h"
#include "toolkit/dialog_script.h"

namespace corvane::tk::detail {

// Plays actions in order, logging the state after each one that leaves the
// dialog open; waits go through clock.
std::unique_ptr<DialogFrontEnd> makeScriptFrontEnd(std::vector<ScriptAction> actions, platform::Clock& clock);

// Draws the dialog on terminal and reads its keys until the dialog ends or
// Escape is pressed.
std::unique_ptr<DialogFrontEnd> makeTtyFrontEnd(platform::Terminal& terminal);

// Runs the dialog in the system's own window with its real controls. With
// actions (none at all for "none") they drive it as the script front end
// does and it then closes as with Escape; without, the user does. nullopt,
// with nothing logged, when the system has no such dialog. runner shows it:
// the system's own, or a test's stand-in.
using SystemDialogRunner = std::optional<std::int32_t> (*)(std::int32_t resourceId,
                                                           platform::NativeDialogEvents& events);
std::optional<std::int32_t> runSystemDialog(const DialogTemplate& dialog, DialogProcedure& procedure,
                                            DialogLog& log, std::optional<std::vector<ScriptAction>> actions,
                                            SystemDialogRunner runner = &platform::runNativeDialog);

}  // namespace corvane::tk::detail
