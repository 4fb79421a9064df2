#include "platform/interrupt.h"

#include <windows.h>

#include <array>
#include <atomic>
#include <csignal>
#include <cstring>

namespace corvane::platform {
namespace {

constexpr std::size_t kSlots = 8;
constexpr std::size_t kTextBytes = 4096;

// Filled before `used` is set and cleared after it is reset, so the handler
// (which runs on a thread of its own) only ever sees whole entries.
struct Slot {
  std::atomic<bool> used{false};
  char path[kTextBytes];
  char message[kTextBytes];
};

std::array<Slot, kSlots> slots;

// Set by a live HoldInterrupts; the first interrupt then only lands in held.
std::atomic<bool> holding{false};
std::atomic<int> held{0};

void copyText(char (&to)[kTextBytes], const std::string& from) {
  const std::size_t n = std::min(from.size(), kTextBytes - 1);
  std::memcpy(to, from.data(), n);
  to[n] = '\0';
}

// Ends as the system's own Ctrl-C handling would, with the status a shell
// reads as "interrupted".
[[noreturn]] void cleanUpAndEnd() {
  for (Slot& slot : slots) {
    if (!slot.used.load()) continue;
    if (!::DeleteFileA(slot.path)) ::RemoveDirectoryA(slot.path);
    DWORD written = 0;
    (void)::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), slot.message,
                      static_cast<DWORD>(std::strlen(slot.message)), &written, nullptr);
  }
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

BOOL WINAPI onInterrupt(DWORD event) {
  const int signal = signalOf(event);
  if (signal == 0) return FALSE;  // log-off and shut-down: the system's own handling
  int none = 0;
  if (holding.load() && held.compare_exchange_strong(none, signal)) {
    // A closed console ends the process as soon as this returns: wait here,
    // within the system's grace time, for the holder to stop in order.
    if (event == CTRL_CLOSE_EVENT) ::Sleep(INFINITE);
    return TRUE;
  }
  cleanUpAndEnd();
}

}  // namespace

// Write failures past a size limit are plain errors on Windows: nothing to
// switch off.
void installInterruptCleanup() { ::SetConsoleCtrlHandler(onInterrupt, TRUE); }

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
  if (held.load() != 0) cleanUpAndEnd();
}

}  // namespace corvane::platform
