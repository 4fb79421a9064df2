#include "platform/fault_recovery.h"

#include <pthread.h>
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

// The actions that were in place before ours; written before our handlers go
// in, and only read while they are in.
struct sigaction gPreviousActions[kFaultSignals.size()];

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

// Guarded by gInstallLock. Handlers go in at the first guarded call and come
// out again when the image that holds onFault is unloaded.
std::mutex gInstallLock;
bool gInstalled = false;

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
// Kept under a thread key, not in a thread_local object with a destructor:
// such an object would keep the plug-in mapped after the host unloads it.
constexpr std::size_t kPreferredStackSize = 64 * 1024;

void releaseAlternateStack(void* memory) {
  stack_t current{};
  if (::sigaltstack(nullptr, &current) == 0 && current.ss_sp == memory) {
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    ::sigaltstack(&off, nullptr);
  }
  delete[] static_cast<char*>(memory);
}

pthread_key_t gStackKey;
bool gStackKeyMade = false;  // guarded by gInstallLock

void installAlternateStack() {
  if (!gStackKeyMade || ::pthread_getspecific(gStackKey) != nullptr) return;
  stack_t current{};
  if (::sigaltstack(nullptr, &current) != 0 || !(current.ss_flags & SS_DISABLE)) return;
  const long minimum = ::sysconf(_SC_SIGSTKSZ);
  std::size_t size = kPreferredStackSize;
  if (minimum > 0 && static_cast<std::size_t>(minimum) > size) size = static_cast<std::size_t>(minimum);
  auto memory = std::make_unique<char[]>(size);
  stack_t ours{};
  ours.ss_sp = memory.get();
  ours.ss_size = size;
  if (::sigaltstack(&ours, nullptr) != 0) return;
  if (::pthread_setspecific(gStackKey, memory.get()) != 0) {
    // Without the key nothing would free it: leave the thread as it was.
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    ::sigaltstack(&off, nullptr);
    return;
  }
  memory.release();
}

// Set once a thread has its handlers and stack; a plain flag, so later
// guarded calls on the thread take no lock.
__attribute__((tls_model("initial-exec"))) thread_local bool tPrepared = false;

void prepareThread() {
  if (tPrepared) return;
  {
    std::lock_guard guard(gInstallLock);
    if (!gInstalled) {
      installHandlers();
      gInstalled = true;
    }
    if (!gStackKeyMade) gStackKeyMade = ::pthread_key_create(&gStackKey, releaseAlternateStack) == 0;
  }
  installAlternateStack();
  tPrepared = true;
}

// When the image is unloaded: the previous handlers go back (unless someone
// replaced ours meanwhile), and the key goes, so that no thread ends by calling
// into unmapped code. Live threads keep their alternate stacks.
__attribute__((destructor)) void removeHandlers() {
  std::lock_guard guard(gInstallLock);
  if (gInstalled) {
    for (std::size_t i = 0; i < kFaultSignals.size(); ++i) {
      struct sigaction current {};
      if (::sigaction(kFaultSignals[i], nullptr, &current) != 0) continue;
      if ((current.sa_flags & SA_SIGINFO) && current.sa_sigaction == onFault)
        ::sigaction(kFaultSignals[i], &gPreviousActions[i], nullptr);
    }
    gInstalled = false;
  }
  if (gStackKeyMade) {
    ::pthread_key_delete(gStackKey);
    gStackKeyMade = false;
  }
}

// Runs the body with point as the thread's recovery point. Kept out of line
// so that nothing live in callWithFaultRecovery changes after sigsetjmp.
__attribute__((noinline)) void runGuarded(RecoveryPoint& point, void (*body)(void*), void* context) {
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
