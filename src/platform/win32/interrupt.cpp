#include "platform/interrupt.h"

#include <windows.h>

#include <csignal>
#include <cstring>

#include "platform/interrupt_native.h"

namespace corvane::platform {
namespace {

void removeAndSay(const char* path, const char* message) {
  if (!::DeleteFileA(path)) ::RemoveDirectoryA(path);
  DWORD written = 0;
  (void)::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), message, static_cast<DWORD>(std::strlen(message)),
                    &written, nullptr);
}

// Ends as the system's own Ctrl-C handling would, with the status a shell
// reads as "interrupted".
[[noreturn]] void cleanUpAndEnd() {
  interrupt_native::forEachRegistered(removeAndSay);
  ::ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

int signalOf(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
      return SIGINT;
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
      return SIGTERM;
    default:
      return 0;
  }
}

// Runs on a thread the system starts for the event.
BOOL WINAPI onInterrupt(DWORD event) {
  const int signal = signalOf(event);
  if (signal == 0) return FALSE;  // log-off and shut-down: the system's own handling
  if (interrupt_native::hold(signal)) {
    // A closed console ends the process as soon as this returns: wait here,
    // within the system's grace time, for the holder to stop in order.
    if (event == CTRL_CLOSE_EVENT) ::Sleep(INFINITE);
    return TRUE;
  }
  cleanUpAndEnd();
}

}  // namespace

// Writes past a size limit fail as plain errors here: nothing to switch off.
void installInterruptCleanup() { ::SetConsoleCtrlHandler(onInterrupt, TRUE); }

void HoldInterrupts::endIfInterrupted() const {
  if (interrupt_native::held() != 0) cleanUpAndEnd();
}

}  // namespace corvane::platform
