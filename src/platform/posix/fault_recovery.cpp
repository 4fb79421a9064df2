#include "platform/fault_recovery.h"

#include <setjmp.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <memory>
#include <mutex>

namespace corvane::platform {
namespace {

constexpr std::array<int, 4> kFaultSignals = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};

// Where a fault on this thread goes: the innermost active guarded call.
struct RecoveryPoint {
  sigjmp_buf jump;
  RecoveryPoint* previous = nullptr;
};

// initial-exec keeps the handler's read of this pointer a plain load, with no
// lazy TLS allocation inside a signal handler, even in a dlopen'ed library.
__attribute__((tls_model("initial-exec"))) thread_local RecoveryPoint* tRecoveryPoint = nullptr;

// The actions that were in place before ours; written once, before our
// handlers go in, and only read afterwards.
struct sigaction gPreviousActions[kFaultSignals.size()];
std::once_flag gInstallOnce;

std::size_t slotOf(int sig) {
  for (std::size_t i = 0; i < kFaultSignals.size(); ++i) {
    if (kFaultSignals[i] == sig) return i;
  }
  return 0;
}

// A fault outside any recovery point behaves as if we were never installed.
void forwardToPrevious(int sig, siginfo_t* info, void* ucontext) {
  const struct sigaction& previous = gPreviousActions[slotOf(sig)];
  if (previous.sa_flags & SA_SIGINFO) {
    previous.sa_sigaction(sig, info, ucontext);
    return;
  }
  if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
    previous.sa_handler(sig);
    return;
  }
  // Default action: a real fault re-executes on return and now kills the
  // process as usual; a sent signal has to be raised again.
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  ::sigaction(sig, &fallback, nullptr);
  if (info == nullptr || info->si_code <= 0) ::raise(sig);
}

void onFault(int sig, siginfo_t* info, void* ucontext) {
  if (RecoveryPoint* point = tRecoveryPoint) siglongjmp(point->jump, 1);
  forwardToPrevious(sig, info, ucontext);
}

void installHandlers() {
  struct sigaction action {};
  action.sa_sigaction = onFault;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < kFaultSignals.size(); ++i) {
    ::sigaction(kFaultSignals[i], nullptr, &gPreviousActions[i]);
  }
  for (int sig : kFaultSignals) ::sigaction(sig, &action, nullptr);
}

// An alternate signal stack for each thread that uses recovery, so that a
// stack overflow inside a guarded body can still be handled. A stack that is
// already installed (by the host or a sanitizer runtime) is left in place.
class AlternateSignalStack {
 public:
  AlternateSignalStack() {
    stack_t current{};
    if (::sigaltstack(nullptr, &current) != 0 || !(current.ss_flags & SS_DISABLE)) return;
    const long minimum = ::sysconf(_SC_SIGSTKSZ);
    size_ = kPreferredSize;
    if (minimum > 0 && static_cast<std::size_t>(minimum) > size_)
      size_ = static_cast<std::size_t>(minimum);
    memory_ = std::make_unique<char[]>(size_);
    stack_t ours{};
    ours.ss_sp = memory_.get();
    ours.ss_size = size_;
    if (::sigaltstack(&ours, nullptr) != 0) memory_.reset();
  }

  ~AlternateSignalStack() {
    if (!memory_) return;
    stack_t current{};
    if (::sigaltstack(nullptr, &current) == 0 && current.ss_sp == memory_.get()) {
      stack_t off{};
      off.ss_flags = SS_DISABLE;
      ::sigaltstack(&off, nullptr);
    }
  }

  AlternateSignalStack(const AlternateSignalStack&) = delete;
  AlternateSignalStack& operator=(const AlternateSignalStack&) = delete;

 private:
  static constexpr std::size_t kPreferredSize = 64 * 1024;
  std::unique_ptr<char[]> memory_;
  std::size_t size_ = 0;
};

void prepareThread() {
  std::call_once(gInstallOnce, installHandlers);
  thread_local AlternateSignalStack altStack;
}

// Runs the body with point as the thread's recovery point. Kept out of line
// so that nothing live in callWithFaultRecovery changes after sigsetjmp.
__attribute__((noinline)) void runGuarded(RecoveryPoint& point, void (*body)(void*),
                                          void* context) {
  tRecoveryPoint = &point;
  try {
    body(context);
  } catch (...) {
    tRecoveryPoint = point.previous;
    throw;
  }
  tRecoveryPoint = point.previous;
}

}  // namespace

bool callWithFaultRecovery(void (*body)(void*), void* context) {
  prepareThread();
  RecoveryPoint point;
  point.previous = tRecoveryPoint;
  // Saving the mask matters: a jump out of a handler must not leave the
  // fault signals blocked.
  if (sigsetjmp(point.jump, 1) != 0) {
    tRecoveryPoint = point.previous;
    return false;
  }
  runGuarded(point, body, context);
  return true;
}

bool insideFaultRecovery() { return tRecoveryPoint != nullptr; }

}  // namespace corvane::platform
