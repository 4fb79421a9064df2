// The DLL's entry. The C runtime calls it after the DLL's static
// initialisers on attach and before its static destructors on detach, under
// the loader lock either way. A thread can neither start nor end while this
// thread holds the loader lock, so nothing here starts a thread, and the
// unload waits for a device's thread through its done event, never its end.
#include <windows.h>

#include "platform/library_entry.h"
#include "platform/win32/module_handle.h"

// The C++ runtime's own release of the arena it keeps for exceptions thrown
// when memory runs out; not in its headers.
namespace __gnu_cxx {
void __freeres();
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      corvane::platform::keepModuleHandle(instance);
      // No thread of the host needs to stop here on its way in or out.
      ::DisableThreadLibraryCalls(instance);
      corvane::platform::onLibraryLoad();
      break;
    case DLL_PROCESS_DETACH:
      corvane::platform::onLibraryUnload();
      // The runtime is linked in and never frees that arena (about 19 KB):
      // a host that unloads and loads again would lose it each time. Not
      // when the process ends, as other threads may still throw.
      if (reserved == nullptr) __gnu_cxx::__freeres();
      break;
    default:
      break;
  }
  // The entry never refuses the load: a failed start-up has shown its box
  // and left every export to fail through its guard.
  return TRUE;
}
