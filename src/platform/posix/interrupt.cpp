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
std::atomic<bool> deferring{false};
std::atomic<int> deferred{0};

void copyText(char (&to)[kTextBytes], const std::string& from) {
  const std::size_t n = std::min(from.size(), kTextBytes - 1);
  std::memcpy(to, from.data(), n);
  to[n] = '\0';
}

extern "C" void onInterrupt(int signal) {
  int none = 0;
  if (deferring.load() && deferred.compare_exchange_strong(none, signal)) return;
  for (Slot& slot : slots) {
    if (!slot.used.load()) continue;
    if (::unlink(slot.path) != 0) ::rmdir(slot.path);
    const ssize_t ignored = ::write(STDERR_FILENO, slot.message, std::strlen(slot.message));
    (void)ignored;
  }
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

}  // namespace

void installInterruptCleanup() {
  struct sigaction action {};
  action.sa_handler = onInterrupt;
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

DeferInterrupt::DeferInterrupt() {
  deferred.store(0);
  deferring.store(true);
}

DeferInterrupt::~DeferInterrupt() { deferring.store(false); }

int DeferInterrupt::signal() const { return deferred.load(); }

}  // namespace corvane::platform
