#include "toolkit/live_sinks.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace corvane::tk::detail {
namespace {

struct Entry {
  std::uint64_t serial = 0;
  // Threads inside a delivery to this sink right now (one per nesting).
  std::vector<std::thread::id> delivering;
};

struct Registry {
  std::mutex lock;
  std::condition_variable delivered;                // a delivery ended
  std::unordered_map<MessageSink*, Entry> entries;  // guarded by lock
  std::uint64_t nextSerial = 1;                     // guarded by lock
};

// Whether a thread other than this one is delivering to the entry.
bool othersDelivering(const Entry& entry) {
  const std::thread::id self = std::this_thread::get_id();
  return std::any_of(entry.delivering.begin(), entry.delivering.end(),
                     [&](std::thread::id id) { return id != self; });
}

// Destroyed with the library's statics: a leaked one would be lost memory once
// the plug-in is unloaded. A sink with static storage that is destroyed even
// later finds it gone and leaves it alone.
std::atomic<bool> registryGone{false};  // relaxed: only ever set at teardown

struct RegistryHolder {
  Registry registry;
  ~RegistryHolder() { registryGone.store(true, std::memory_order_relaxed); }
};

Registry& registry() {
  static RegistryHolder holder;
  return holder.registry;
}

}  // namespace

std::uint64_t registerSink(MessageSink* sink) {
  if (registryGone.load(std::memory_order_relaxed)) return 0;
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  std::uint64_t serial = r.nextSerial++;
  r.entries[sink] = Entry{serial, {}};
  return serial;
}

void unregisterSink(MessageSink* sink) {
  if (registryGone.load(std::memory_order_relaxed)) return;
  Registry& r = registry();
  std::unique_lock guard(r.lock);
  // A delivery on another thread finishes before the sink's memory goes; the
  // handler itself may destroy its own sink.
  r.delivered.wait(guard, [&] {
    const auto found = r.entries.find(sink);
    return found == r.entries.end() || !othersDelivering(found->second);
  });
  r.entries.erase(sink);
}

std::uint64_t sinkSerial(MessageSink* sink) {
  if (registryGone.load(std::memory_order_relaxed)) return 0;
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  auto found = r.entries.find(sink);
  return found == r.entries.end() ? 0 : found->second.serial;
}

void deliverIfAlive(MessageSink* sink, std::uint64_t serial, std::int32_t message, ToolkitUI* sender) {
  if (serial == 0 || registryGone.load(std::memory_order_relaxed)) return;
  Registry& r = registry();
  const std::thread::id self = std::this_thread::get_id();
  {
    // The check and the mark are one step: the sink cannot go in between.
    std::lock_guard guard(r.lock);
    auto found = r.entries.find(sink);
    if (found == r.entries.end() || found->second.serial != serial) return;
    found->second.delivering.push_back(self);
  }
  // The mark is taken off whatever the handler does, a throw included.
  struct Unmark {
    Registry& r;
    MessageSink* sink;
    std::uint64_t serial;
    std::thread::id self;
    ~Unmark() {
      {
        std::lock_guard guard(r.lock);
        auto found = r.entries.find(sink);
        // Gone when the handler destroyed its own sink.
        if (found != r.entries.end() && found->second.serial == serial) {
          auto& delivering = found->second.delivering;
          delivering.erase(std::find(delivering.begin(), delivering.end(), self));
        }
      }
      r.delivered.notify_all();
    }
  } unmark{r, sink, serial, self};
  sink->onToolkitMessage(message, sender);
}

}  // namespace corvane::tk::detail
