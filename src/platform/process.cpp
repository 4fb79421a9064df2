// The half of ChildProcess that is the same on every system: ownership and
// the order of a stop. The backends hold the system calls.
#include "platform/process.h"

#include <algorithm>
#include <utility>

namespace corvane::platform {
namespace {

// How often stop() looks whether the child has ended.
constexpr std::uint32_t kStopPollMs = 10;

}  // namespace

ChildProcess::~ChildProcess() {
  if (started() && !status_) killAndReap();
  release();
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, 0)),
      handle_(std::exchange(other.handle_, 0)),
      status_(std::exchange(other.status_, std::nullopt)) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    if (started() && !status_) killAndReap();
    release();
    pid_ = std::exchange(other.pid_, 0);
    handle_ = std::exchange(other.handle_, 0);
    status_ = std::exchange(other.status_, std::nullopt);
  }
  return *this;
}

StopOutcome ChildProcess::stop(std::chrono::milliseconds timeout, Clock& clock) {
  if (!started() || tryReap()) return StopOutcome::AlreadyEnded;
  requestClose();
  const std::uint64_t limitUs = static_cast<std::uint64_t>(std::max<std::int64_t>(timeout.count(), 0)) * 1000;
  const std::uint64_t startUs = clock.microseconds();
  while (true) {
    if (tryReap()) return StopOutcome::Closed;
    std::uint64_t elapsedUs = clock.microseconds() - startUs;
    if (elapsedUs >= limitUs) break;
    std::uint64_t leftMs = (limitUs - elapsedUs + 999) / 1000;
    clock.sleepMilliseconds(static_cast<std::uint32_t>(std::min<std::uint64_t>(leftMs, kStopPollMs)));
  }
  killAndReap();
  return StopOutcome::Killed;
}

}  // namespace corvane::platform
