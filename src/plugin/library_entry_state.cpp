#include <atomic>

#include "plugin/library_entry.h"

namespace corvane::plugin {
namespace {
std::atomic<std::uint32_t> attaches{0};
}  // namespace

bool libraryEntry(EntryReason reason, const std::function<void()>& firstAttach) {
  // Thread notifications are never asked for; detach has nothing to do.
  if (reason != EntryReason::ProcessAttach) return true;
  if (attaches.fetch_add(1, std::memory_order_relaxed) != 0) return true;
  firstAttach();
  return true;
}

std::uint32_t attachCount() { return attaches.load(std::memory_order_relaxed); }

}  // namespace corvane::plugin
