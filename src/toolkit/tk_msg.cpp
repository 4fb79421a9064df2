#include <algorithm>

#include "engine/toolkit.h"
#include "toolkit/live_sinks.h"
#include "toolkit/posted_messages.h"

namespace corvane::tk {

void TKmsg::AddDependant(HWND window) {
  if (window == nullptr) return;
  std::lock_guard guard(dependantsLock_);
  if (std::find(dependants_.begin(), dependants_.end(), window) == dependants_.end()) {
    dependants_.push_back(window);
  }
}

void TKmsg::DeleteDependant(HWND window) {
  std::lock_guard guard(dependantsLock_);
  dependants_.erase(std::remove(dependants_.begin(), dependants_.end(), window), dependants_.end());
}

std::vector<HWND> TKmsg::dependantsSnapshot() {
  std::lock_guard guard(dependantsLock_);
  return dependants_;
}

void TKmsg::SendMessageA(std::int32_t message, ToolkitUI* sender) {
  // No lock while handlers run: they may add or remove dependants, or change
  // other variables whose dependants include this one's.
  for (HWND window : dependantsSnapshot()) {
    detail::deliverIfAlive(window, detail::sinkSerial(window), message, sender);
  }
}

void TKmsg::PostMessageA(std::int32_t message, ToolkitUI* sender) {
  for (HWND window : dependantsSnapshot()) {
    detail::postMessage(window, message, sender);
  }
}

}  // namespace corvane::tk
