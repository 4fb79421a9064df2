#include "toolkit/posted_messages.h"

#include <deque>
#include <mutex>

#include "toolkit/live_sinks.h"

namespace corvane::tk {
namespace detail {
namespace {

struct Posted {
  MessageSink* target;
  std::uint64_t serial;  // the target's life the message was meant for
  std::int32_t message;
  ToolkitUI* sender;
};

struct Queue {
  std::mutex lock;
  std::deque<Posted> pending;  // guarded by lock
};

Queue& queue() {
  static Queue* instance = new Queue;
  return *instance;
}

}  // namespace

void postMessage(MessageSink* target, std::int32_t message, ToolkitUI* sender) {
  std::uint64_t serial = sinkSerial(target);
  if (serial == 0) return;
  Queue& q = queue();
  std::lock_guard guard(q.lock);
  q.pending.push_back(Posted{target, serial, message, sender});
}

}  // namespace detail

void dispatchPostedMessages() {
  // Only what was queued before this call: a handler that posts again does not
  // keep this loop running for ever.
  std::deque<detail::Posted> batch;
  {
    detail::Queue& q = detail::queue();
    std::lock_guard guard(q.lock);
    batch.swap(q.pending);
  }
  for (const detail::Posted& p : batch) {
    detail::deliverIfAlive(p.target, p.serial, p.message, p.sender);
  }
}

}  // namespace corvane::tk
