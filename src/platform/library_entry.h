// The plug-in library's entry point belongs to the system: DllMain on
// Windows, a constructor and a destructor on Linux. Each backend keeps it in
// platform/<backend>/entry/, built into the plug-in only, and it calls the two
// sequences below, which the plug-in defines.
#pragma once

#include <cstdint>

namespace corvane::platform {

// Runs once, when the library has been mapped and its static data built.
void onLibraryLoad();
// Runs once, before the library's code goes away.
void onLibraryUnload();

// The native handle of the module this code is linked into (the plug-in's
// own in the plug-in): dialogs take their resources from it.
std::uintptr_t moduleHandle();

}  // namespace corvane::platform
