// Ending the process the normal way (exit routines run), as the plug-in does
// when the board is missing at load.
#pragma once

namespace corvane::platform {

[[noreturn]] void exitProcess(int code);

}  // namespace corvane::platform
