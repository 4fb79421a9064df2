// The registry of files to remove and the held interrupt, the same on every
// system; the backends' handlers read it through interrupt_native.h.
#include "platform/interrupt.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>

#include "platform/interrupt_native.h"

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

// Set by a live HoldInterrupts; the first interrupt then only lands in held.
std::atomic<bool> holding{false};
std::atomic<int> heldSignal{0};

void copyText(char (&to)[kTextBytes], const std::string& from) {
  const std::size_t n = std::min(from.size(), kTextBytes - 1);
  std::memcpy(to, from.data(), n);
  to[n] = '\0';
}

}  // namespace

bool interrupt_native::hold(int signal) {
  int none = 0;
  return holding.load() && heldSignal.compare_exchange_strong(none, signal);
}

int interrupt_native::held() { return heldSignal.load(); }

void interrupt_native::forEachRegistered(void (*visit)(const char* path, const char* message)) {
  for (Slot& slot : slots) {
    if (slot.used.load()) visit(slot.path, slot.message);
  }
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
  heldSignal.store(0);
  holding.store(true);
}

HoldInterrupts::~HoldInterrupts() { holding.store(false); }

int HoldInterrupts::signal() const { return heldSignal.load(); }

}  // namespace corvane::platform
