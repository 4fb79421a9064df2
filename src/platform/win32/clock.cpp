#include "platform/clock.h"

#include <windows.h>

namespace corvane::platform {
namespace {

constexpr std::uint64_t kMicrosPerSecond = 1000000;

class PerformanceCounterClock final : public Clock {
 public:
  PerformanceCounterClock() {
    LARGE_INTEGER frequency{};
    ::QueryPerformanceFrequency(&frequency);  // fixed at boot; never fails since Windows XP
    frequency_ = static_cast<std::uint64_t>(frequency.QuadPart);
  }

  // Split in whole seconds and the rest, so the product cannot overflow after
  // a long uptime at a high counter frequency.
  std::uint64_t microseconds() override {
    LARGE_INTEGER now{};
    ::QueryPerformanceCounter(&now);
    const auto ticks = static_cast<std::uint64_t>(now.QuadPart);
    return ticks / frequency_ * kMicrosPerSecond + ticks % frequency_ * kMicrosPerSecond / frequency_;
  }

  std::uint32_t tickCount() override { return ::GetTickCount(); }

  // Sleep has no finer unit: sleepMicroseconds keeps the rounding up to
  // whole milliseconds. Spinning instead would starve the host's threads when
  // the caller runs time-critical.
  void sleepMilliseconds(std::uint32_t ms) override { ::Sleep(ms); }

 private:
  std::uint64_t frequency_ = 1;
};

}  // namespace

Clock& systemClock() {
  static PerformanceCounterClock clock;
  return clock;
}

}  // namespace corvane::platform
