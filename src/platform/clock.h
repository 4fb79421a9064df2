// Monotonic time and sleeping, behind one seam so that pacing logic can run
// against a fake clock in tests.
#pragma once

#include <cstdint>

namespace corvane::platform {

class Clock {
 public:
  virtual ~Clock() = default;
  // Microseconds since an arbitrary fixed point; never goes backwards.
  virtual std::uint64_t microseconds() = 0;
  // Milliseconds since an arbitrary fixed point, wrapping at 2^32 like the
  // native tick count.
  virtual std::uint32_t tickCount() = 0;
  virtual void sleepMilliseconds(std::uint32_t ms) = 0;
  // For pacing finer than a tick; by default rounded up to whole milliseconds.
  virtual void sleepMicroseconds(std::uint32_t us) { sleepMilliseconds((us + 999) / 1000); }
  // Until microseconds() reaches deadline (on its own scale); returns at once
  // for a deadline that has passed. An absolute deadline does not drift by
  // the time between reading the clock and going to sleep, nor by a signal.
  // By default relative sleeps of what is left, in their rounding.
  virtual void sleepUntilMicroseconds(std::uint64_t deadline);
};

// A relative sleep may come back early (a coarse system tick): sleep again
// for what is left, so the deadline is never run ahead of.
inline void Clock::sleepUntilMicroseconds(std::uint64_t deadline) {
  constexpr std::uint64_t kLongest = 0xFFFFFFFFu;
  for (std::uint64_t now = microseconds(); now < deadline; now = microseconds()) {
    sleepMicroseconds(static_cast<std::uint32_t>(deadline - now < kLongest ? deadline - now : kLongest));
  }
}

// The process's real monotonic clock. Thread-safe.
Clock& systemClock();

}  // namespace corvane::platform
