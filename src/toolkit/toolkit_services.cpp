// The toolkit's own services: real threads, and one process-wide queue of
// posted messages.
#include <atomic>
#include <deque>
#include <mutex>

#include "engine/toolkit.h"
#include "platform/thread.h"
#include "toolkit/dialog_host.h"
#include "toolkit/live_sinks.h"

namespace corvane::tk {
namespace {

struct Posted {
  MessageSink* target;
  std::uint64_t serial;  // the target's life the message was meant for
  std::int32_t message;
  ToolkitUI* sender;
};

class OwnServices final : public ToolkitServices {
 public:
  bool startThread(platform::Thread& thread, std::string_view name, ThreadPriority priority,
                   std::function<void()> body) override {
    const auto platformPriority = priority == ThreadPriority::TimeCritical
                                      ? platform::ThreadPriority::TimeCritical
                                      : platform::ThreadPriority::Normal;
    return !thread.start({name, platformPriority}, std::move(body));
  }

  void postMessage(HWND target, std::int32_t message, ToolkitUI* sender) override {
    const std::uint64_t serial = detail::sinkSerial(target);
    if (serial == 0) return;
    std::lock_guard guard(lock_);
    pending_.push_back(Posted{target, serial, message, sender});
  }

  void dispatchPostedMessages() override {
    // Only what was queued before this call: a handler that posts again does
    // not keep this loop running for ever.
    std::deque<Posted> batch;
    {
      std::lock_guard guard(lock_);
      batch.swap(pending_);
    }
    for (const Posted& p : batch) detail::deliverIfAlive(p.target, p.serial, p.message, p.sender);
  }

  std::int32_t runModalDialog(const DialogTemplate& dialog, DialogProcedure& procedure) override {
    return detail::runDialogFromEnvironment(dialog, procedure);
  }

 private:
  std::mutex lock_;
  std::deque<Posted> pending_;  // guarded by lock_
};

// A static object rather than a leaked one: the plug-in is unloaded with
// dlclose, after which nothing would own a heap copy.
OwnServices& ownServices() {
  static OwnServices instance;
  return instance;
}

// Acquire/release: a test's fake is fully built before other threads use it.
std::atomic<ToolkitServices*> installed{nullptr};

}  // namespace

ToolkitServices& toolkitServices() {
  ToolkitServices* services = installed.load(std::memory_order_acquire);
  return services != nullptr ? *services : ownServices();
}

ToolkitServices* installToolkitServices(ToolkitServices* services) {
  ToolkitServices* previous = installed.exchange(services, std::memory_order_acq_rel);
  return previous != nullptr ? previous : &ownServices();
}

}  // namespace corvane::tk
