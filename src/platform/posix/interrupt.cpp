#include "platform/interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>

#include "platform/interrupt_native.h"

namespace corvane::platform {
namespace {

void removeAndSay(const char* path, const char* message) {
  if (::unlink(path) != 0) ::rmdir(path);
  const ssize_t ignored = ::write(STDERR_FILENO, message, std::strlen(message));
  (void)ignored;
}

// In the handler the signal is blocked until it returns, and then ends the
// process; outside it, raise() ends it at once.
void cleanUpAndEnd(int signal) {
  interrupt_native::forEachRegistered(removeAndSay);
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

extern "C" void onInterrupt(int signal) {
  if (interrupt_native::hold(signal)) return;
  cleanUpAndEnd(signal);
}

}  // namespace

void installInterruptCleanup() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
  action.sa_flags = SA_RESTART;  // a held signal must not fail the reads it lands in
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  ::signal(SIGXFSZ, SIG_IGN);
}

void HoldInterrupts::endIfInterrupted() const {
  const int signal = interrupt_native::held();
  if (signal == 0) return;
  cleanUpAndEnd(signal);
  ::_exit(128 + signal);  // only if the caller blocks the signal
}

}  // namespace corvane::platform
