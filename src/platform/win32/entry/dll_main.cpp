// The DLL's entry. The C runtime calls it after the DLL's static
// initialisers on attach and before its static destructors on detach, under
// the loader lock either way. What runs here therefore starts no thread that
// it then waits for and waits for no thread's end: a thread can neither
// start nor end while this thread holds the loader lock.
#include <windows.h>

#include "platform/library_entry.h"
#include "platform/win32/module_handle.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      corvane::platform::keepModuleHandle(instance);
      // No thread of the host needs to stop here on its way in or out.
      ::DisableThreadLibraryCalls(instance);
      corvane::platform::onLibraryLoad();
      break;
    case DLL_PROCESS_DETACH:
      corvane::platform::onLibraryUnload();
      break;
    default:
      break;
  }
  // The entry never refuses the load: a failed start-up has shown its box
  // and left every export to fail through its guard.
  return TRUE;
}
