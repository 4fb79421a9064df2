#include "preview/preview_process.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "engine/error.h"

namespace corvane::preview {

namespace {

// A lock with nothing to destroy (std::mutex has a destructor under some
// runtimes). The name is set once at load and read at each launch, so a
// waiter spins for a few instructions at most.
class SpinLock {
 public:
  void lock() {
    while (held_.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
  }
  void unlock() { held_.clear(std::memory_order_release); }

 private:
  std::atomic_flag held_ = ATOMIC_FLAG_INIT;
};

// Trivially destructible, so it outlives the exit routines that the unload
// sequence may run after, and an unloaded library leaves no memory behind.
struct MonitorName {
  SpinLock lock;
  std::array<char, 256> name{};  // guarded by lock; a shared-memory name is shorter
};
static_assert(std::is_trivially_destructible_v<MonitorName>);

MonitorName& monitorName() {
  static MonitorName shared;
  return shared;
}

std::vector<std::string> previewEnvironment() {
  MonitorName& monitor = monitorName();
  std::lock_guard hold(monitor.lock);
  if (monitor.name[0] == '\0') return {};
  return {"CORVANE_MONITOR=" + std::string(monitor.name.data())};
}

}  // namespace

void setPreviewMonitor(std::string_view name) {
  MonitorName& monitor = monitorName();
  std::lock_guard hold(monitor.lock);
  const std::size_t length = std::min(name.size(), monitor.name.size() - 1);
  std::copy_n(name.data(), length, monitor.name.data());
  monitor.name[length] = '\0';
}

std::unique_ptr<PreviewProcess> PreviewProcess::launch(std::string_view programFileName) {
  return launch(programFileName, platform::systemClock());
}

std::unique_ptr<PreviewProcess> PreviewProcess::launch(std::string_view programFileName,
                                                       platform::Clock& clock) {
  platform::SpawnError error = platform::SpawnError::None;
  platform::ChildProcess child = platform::ChildProcess::start(programFileName, error, previewEnvironment());
  if (error != platform::SpawnError::None) throw EngineError(kLaunchFailed);
  return std::unique_ptr<PreviewProcess>(new PreviewProcess(std::move(child), clock));
}

PreviewProcess::PreviewProcess(platform::ChildProcess child, platform::Clock& clock)
    : child_(std::move(child)), clock_(clock) {}

PreviewProcess::~PreviewProcess() { stop(kStopTimeout); }

bool PreviewProcess::isRunning() { return child_.running(); }

void PreviewProcess::stop(std::chrono::milliseconds timeout) {
  if (!child_.exitStatus()) child_.stop(timeout, clock_);
}

std::int32_t PreviewProcess::processId() const { return child_.id(); }

std::int32_t closePreview(std::unique_ptr<PreviewProcess>& preview) {
  if (!preview) return 0;
  std::int32_t running = preview->isRunning() ? 1 : 0;
  preview->stop(kStopTimeout);
  preview.reset();
  return running;
}

}  // namespace corvane::preview
