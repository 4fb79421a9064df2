#include "platform/clock.h"

#include <time.h>

#include <cerrno>

namespace corvane::platform {
namespace {

constexpr std::uint64_t kMicrosPerSecond = 1000000;
constexpr std::uint64_t kNanosPerMicro = 1000;

class MonotonicClock final : public Clock {
 public:
  std::uint64_t microseconds() override {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * kMicrosPerSecond +
           static_cast<std::uint64_t>(ts.tv_nsec) / kNanosPerMicro;
  }

  // Truncation to 32 bits gives the native tick count's wrap-around.
  std::uint32_t tickCount() override { return static_cast<std::uint32_t>(microseconds() / 1000); }

  void sleepMilliseconds(std::uint32_t ms) override { sleepMicroseconds64(std::uint64_t{ms} * 1000); }
  void sleepMicroseconds(std::uint32_t us) override { sleepMicroseconds64(us); }

  // On the same clock as microseconds(), so the deadline is what the caller
  // computed from a reading; the system wakes us at it without a relative
  // sleep's drift.
  void sleepUntilMicroseconds(std::uint64_t deadline) override {
    timespec at{};
    at.tv_sec = static_cast<time_t>(deadline / kMicrosPerSecond);
    at.tv_nsec = static_cast<long>(deadline % kMicrosPerSecond) * static_cast<long>(kNanosPerMicro);
    // clock_nanosleep answers the error itself; a signal just means sleep on.
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
  }

 private:
  static void sleepMicroseconds64(std::uint64_t us) {
    timespec remaining{};
    remaining.tv_sec = static_cast<time_t>(us / kMicrosPerSecond);
    remaining.tv_nsec = static_cast<long>(us % kMicrosPerSecond) * static_cast<long>(kNanosPerMicro);
    // A signal cuts the sleep short; go on sleeping for what is left.
    while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
    }
  }
};

}  // namespace

Clock& systemClock() {
  static MonotonicClock clock;
  return clock;
}

}  // namespace corvane::platform
