#include "platform/interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>

namespace corvane::platform {
namespace {

constexpr std::size_t kSlots = 8;
constexpr std::size_t kTextBytes = 4096;

// Filled before `used` is set and cleared after it is reset, so the handler
// only ever sees whole entries.
struct Slot {
  std::atomic<bool> used{false};
  char path[kTextBytes];
  char message[kTextBytes];
};

std::array<Slot, kSlots> slots;

// Set by a live HoldInterrupts; the first signal then only lands in held.
std::atomic<bool> holding{false};
std::atomic<int> held{0};

void copyText(char (&to)[kTextBytes], const std::string& from) {
  const std::size_t n = std::min(from.size(), kTextBytes - 1);
  std::memcpy(to, from.data(), n);
  to[n] = '\0';
}

// In the handler the signal is blocked until it returns, and then ends the
// process; outside it, raise() ends it at once.
void cleanUpAndEnd(int signal) {
  for (Slot& slot : slots) {
    if (!slot.used.load()) continue;
    if (::unlink(slot.path) != 0) ::rmdir(slot.path);
    const ssize_t ignored = ::write(STDERR_FILENO, slot.message, std::strlen(slot.message));
    (void)ignored;
  }
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

extern "C" void onInterrupt(int signal) {
  int none = 0;
  if (holding.load() && held.compare_exchange_strong(none, signal)) return;
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

RemoveOnInterrupt::RemoveOnInterrupt(const std::string& path, const std::string& message) {
  for (std::size_t i = 0; i < kSlots; ++i) {
    Slot& slot = slots[i];
    if (slot.used.load()) continue;
    copyText(slot.path, path);
    copyText(slot.message, message.empty() ? message : message + "\n");
    slot.used.store(true);
    slot_ = static_cast<int>(i);
    return;
  }
}

RemoveOnInterrupt::~RemoveOnInterrupt() {
  if (slot_ >= 0) slots[static_cast<std::size_t>(slot_)].used.store(false);
}

HoldInterrupts::HoldInterrupts() {
  held.store(0);
  holding.store(true);
}

HoldInterrupts::~HoldInterrupts() { holding.store(false); }

int HoldInterrupts::signal() const { return held.load(); }

void HoldInterrupts::endIfInterrupted() const {
  const int signal = held.load();
  if (signal == 0) return;
  cleanUpAndEnd(signal);
  ::_exit(128 + signal);  // only if the caller blocks the signal
}

}  // namespace corvane::platform
