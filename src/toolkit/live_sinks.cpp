#include "toolkit/live_sinks.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

namespace corvane::tk::detail {
namespace {

struct Registry {
  std::mutex lock;
  std::unordered_map<MessageSink*, std::uint64_t> serials;  // guarded by lock
  std::uint64_t nextSerial = 1;                             // guarded by lock
};

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
  r.serials[sink] = serial;
  return serial;
}

void unregisterSink(MessageSink* sink) {
  if (registryGone.load(std::memory_order_relaxed)) return;
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  r.serials.erase(sink);
}

std::uint64_t sinkSerial(MessageSink* sink) {
  if (registryGone.load(std::memory_order_relaxed)) return 0;
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  auto found = r.serials.find(sink);
  return found == r.serials.end() ? 0 : found->second;
}

void deliverIfAlive(MessageSink* sink, std::uint64_t serial, std::int32_t message, ToolkitUI* sender) {
  if (serial == 0 || sinkSerial(sink) != serial) return;
  sink->onToolkitMessage(message, sender);
}

}  // namespace corvane::tk::detail
