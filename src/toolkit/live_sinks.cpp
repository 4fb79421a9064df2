#include "toolkit/live_sinks.h"

#include <mutex>
#include <unordered_map>

namespace corvane::tk::detail {
namespace {

struct Registry {
  std::mutex lock;
  std::unordered_map<MessageSink*, std::uint64_t> serials;  // guarded by lock
  std::uint64_t nextSerial = 1;                             // guarded by lock
};

// Never destroyed: sinks with static storage may outlive any other static.
Registry& registry() {
  static Registry* instance = new Registry;
  return *instance;
}

}  // namespace

std::uint64_t registerSink(MessageSink* sink) {
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  std::uint64_t serial = r.nextSerial++;
  r.serials[sink] = serial;
  return serial;
}

void unregisterSink(MessageSink* sink) {
  Registry& r = registry();
  std::lock_guard guard(r.lock);
  r.serials.erase(sink);
}

std::uint64_t sinkSerial(MessageSink* sink) {
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
