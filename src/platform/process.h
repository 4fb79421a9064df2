// Processes: ending our own the normal way, and starting, testing and stopping
// child programs (the preview programs). Failures are error codes here; the
// callers above decide what the user sees.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/clock.h"

namespace corvane::platform {

// Ending the process the normal way (exit routines run), as the plug-in does
// when the board is missing at load.
[[noreturn]] void exitProcess(int code);

// The full path of the program fileName names, nullopt when nothing fits.
// POSIX: an executable regular file searched in the directories of PATH in
// order (a name holding a '/' is taken as it is); a trailing ".exe" (any
// case) is dropped first, since programs carry no suffix there. Windows: the
// system's search order for a file (SearchPathA), the name as given, so
// "ScryOut.exe" is found as the program file it names.
std::optional<std::string> searchProgram(std::string_view fileName);

enum class SpawnError : std::uint8_t { None, NotFound, StartFailed };

// How a reaped child ended: its exit code, or the signal that ended it.
// Windows has no signals: signalled stays false, and a killed child has the
// exit code its killer gave (0 from stop()).
struct ExitStatus {
  bool signalled = false;
  int value = 0;  // exit code, or signal number when signalled
  // The system reaped it for us (children ignored): how it ended is unknown.
  bool unknown = false;
};

enum class StopOutcome : std::uint8_t {
  AlreadyEnded,  // it had ended before the close request
  Closed,        // it ended within the time-out after the close request
  Killed,        // it outlived the time-out and was killed
};

// One started child program, owned. Move-only; used by one thread at a time.
// Every child is reaped: by running() once it has ended, by stop(), or at
// the latest by the destructor, which kills one that still runs.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Searches fileName as searchProgram does and starts it with no arguments,
  // this process's environment and current directory, and none of our open
  // descriptors but the three standard ones (so no lock or pipe we hold lives
  // on in it; on Windows no handle at all is inherited, and a console child
  // writes to the console). Each "NAME=value" of extraEnvironment is added to the child's
  // environment, replacing NAME there. An empty object and the reason when
  // that fails.
  static ChildProcess start(std::string_view fileName, SpawnError& error,
                            std::span<const std::string> extraEnvironment = {});

  bool started() const { return pid_ > 0; }
  std::int32_t id() const { return pid_; }

  // Reaps the child if it has ended, then asks the system whether it exists.
  bool running();

  // Sends the close request (SIGTERM; on Windows WM_CLOSE to each of the
  // child's top-level windows), waits up to timeout for the child to end,
  // polling through clock, then kills it (SIGKILL; TerminateProcess with exit
  // code 0) and reaps it.
  StopOutcome stop(std::chrono::milliseconds timeout, Clock& clock = systemClock());

  // Set once the child has been reaped.
  const std::optional<ExitStatus>& exitStatus() const { return status_; }

 private:
  // The system's half: reap if ended, ask to close, kill, let the handle go.
  bool tryReap();
  void requestClose();
  void killAndReap();
  void release();

  std::int32_t pid_ = 0;
  // The system's handle of the child where it gives one (Windows), else 0.
  std::uintptr_t handle_ = 0;
  std::optional<ExitStatus> status_;
};

}  // namespace corvane::platform
