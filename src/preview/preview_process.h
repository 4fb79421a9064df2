// The preview programs: the output device and the record device each start
// one beside them, test whether it still runs when they close, and stop it.
// What the device writes to its preview key is whether the program was still
// running when the device closed.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "platform/clock.h"
#include "platform/process.h"

namespace corvane::preview {

inline constexpr std::string_view kScryOut = "ScryOut.exe";
inline constexpr std::string_view kScryIn = "ScryIn.exe";

inline constexpr const char* kLaunchFailed =
    "Could not launch the application. Your Corvane installation is probably corrupted";

inline constexpr std::chrono::milliseconds kStopTimeout{1000};

// The board monitor's name that every preview started from now on gets as
// CORVANE_MONITOR; empty: none is added. Set by the load sequence.
void setPreviewMonitor(std::string_view name);

// One started preview program. Not copyable; used on the thread that calls
// the device's exports or runs its dialog.
class PreviewProcess {
 public:
  // Finds programFileName on the search path and starts it. Throws
  // EngineError(kLaunchFailed) when it is not found or does not start.
  static std::unique_ptr<PreviewProcess> launch(std::string_view programFileName);
  // The same, with the clock the stop waits on.
  static std::unique_ptr<PreviewProcess> launch(std::string_view programFileName, platform::Clock& clock);

  PreviewProcess(const PreviewProcess&) = delete;
  PreviewProcess& operator=(const PreviewProcess&) = delete;
  ~PreviewProcess();

  // Whether the program still runs; a program that has ended is reaped here.
  bool isRunning();
  // Asks the program to close, waits up to timeout, then kills it. Does
  // nothing once it has ended; never fails visibly.
  void stop(std::chrono::milliseconds timeout = kStopTimeout);
  std::int32_t processId() const;
  // How the program ended, once it has been reaped.
  const std::optional<platform::ExitStatus>& exitStatus() const { return child_.exitStatus(); }

 private:
  PreviewProcess(platform::ChildProcess child, platform::Clock& clock);

  platform::ChildProcess child_;
  platform::Clock& clock_;
};

// Closing a device: the running test, then the stop. Returns what the device
// writes to its preview key: 1 when the program was still running, 0 when it
// was not or none was started. preview is empty afterwards.
std::int32_t closePreview(std::unique_ptr<PreviewProcess>& preview);

}  // namespace corvane::preview
