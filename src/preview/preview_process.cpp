#include "preview/preview_process.h"

#include <mutex>
#include <utility>
#include <vector>

#include "engine/error.h"

namespace corvane::preview {

namespace {

struct MonitorName {
  std::mutex lock;
  std::string name;  // guarded by lock
};

MonitorName& monitorName() {
  // Never destroyed: the unload sequence may run after the exit routines
  // that destroy the library's static objects.
  static MonitorName* const shared = new MonitorName;
  return *shared;
}

std::vector<std::string> previewEnvironment() {
  MonitorName& monitor = monitorName();
  std::lock_guard hold(monitor.lock);
  if (monitor.name.empty()) return {};
  return {"CORVANE_MONITOR=" + monitor.name};
}

}  // namespace

void setPreviewMonitor(std::string name) {
  MonitorName& monitor = monitorName();
  std::lock_guard hold(monitor.lock);
  monitor.name = std::move(name);
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
