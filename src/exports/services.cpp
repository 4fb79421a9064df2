#include "exports/services.h"

#include <stdexcept>

namespace corvane::exports {
namespace {
// Written at load and unload on the loader's thread, read by any host thread:
// release/acquire publishes the parts the services name.
std::atomic<Services*> installed{nullptr};
}  // namespace

Services* installedServices() noexcept { return installed.load(std::memory_order_acquire); }

Services& services() {
  Services* current = installedServices();
  if (current == nullptr) throw std::logic_error("a service was called while the plug-in is not loaded");
  return *current;
}

void installServices(Services* services) noexcept { installed.store(services, std::memory_order_release); }

}  // namespace corvane::exports
