#include <algorithm>
#include <mutex>
#include <vector>

#include "engine/toolkit.h"
#include "toolkit/live_sinks.h"

namespace corvane::tk {

struct TKmsg::Dependants {
  std::mutex lock;
  std::vector<HWND> windows;  // guarded by lock

  std::vector<HWND> snapshot() {
    std::lock_guard guard(lock);
    return windows;
  }
};

TKmsg::TKmsg() : dependants_(std::make_unique<Dependants>()) {}

TKmsg::~TKmsg() = default;

void TKmsg::AddDependant(HWND window) {
  if (window == nullptr) return;
  std::lock_guard guard(dependants_->lock);
  auto& windows = dependants_->windows;
  if (std::find(windows.begin(), windows.end(), window) == windows.end()) windows.push_back(window);
}

void TKmsg::DeleteDependant(HWND window) {
  std::lock_guard guard(dependants_->lock);
  auto& windows = dependants_->windows;
  windows.erase(std::remove(windows.begin(), windows.end(), window), windows.end());
}

void TKmsg::SendMessageA(std::int32_t message, ToolkitUI* sender) {
  // A copy: handlers may add or remove dependants, or change other variables
  // whose dependants include this one's.
  for (HWND window : dependants_->snapshot()) {
    detail::deliverIfAlive(window, detail::sinkSerial(window), message, sender);
  }
}

void TKmsg::PostMessageA(std::int32_t message, ToolkitUI* sender) {
  ToolkitServices& services = toolkitServices();
  for (HWND window : dependants_->snapshot()) services.postMessage(window, message, sender);
}

}  // namespace corvane::tk
