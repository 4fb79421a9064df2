#include "board/field_clock.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace corvane::board {
namespace {

constexpr std::uint64_t kMicrosPerSecond = 1'000'000;

// value × multiplier / divisor without forming value × multiplier: only
// divisor × multiplier has to fit, so the result stays exact for any elapsed
// time. roundUp gives the ceiling instead of the floor.
std::uint64_t scale(std::uint64_t value, std::uint64_t multiplier, std::uint64_t divisor, bool roundUp) {
  const std::uint64_t whole = value / divisor * multiplier;
  const std::uint64_t part = value % divisor * multiplier;
  return whole + part / divisor + (roundUp && part % divisor != 0 ? 1 : 0);
}

}  // namespace

FieldClock::FieldClock(platform::Clock& clock, FieldRate rate)
    : clock_(clock), rate_(rate), start_(clock.microseconds()) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  // scale() needs numerator × denominator × 10^6 to fit.
  if (rate.numerator == 0 || rate.denominator == 0 || rate.denominator > kMax / kMicrosPerSecond ||
      rate.denominator * kMicrosPerSecond > kMax / rate.numerator) {
    throw std::invalid_argument("field rate out of range");
  }
}

void FieldClock::restart() {
  start_ = clock_.microseconds();
  next_ = 0;
  missed_ = 0;
}

std::uint64_t FieldClock::fieldsSinceStart() {
  const std::uint64_t now = clock_.microseconds();
  const std::uint64_t elapsed = now > start_ ? now - start_ : 0;
  return scale(elapsed, rate_.numerator, rate_.denominator * kMicrosPerSecond, false);
}

std::uint64_t FieldClock::fieldStart(std::uint64_t field) const {
  return scale(field, rate_.denominator * kMicrosPerSecond, rate_.numerator, true);
}

std::uint64_t FieldClock::waitForNextField() {
  const std::uint64_t due = start_ + fieldStart(next_);
  for (std::uint64_t now = clock_.microseconds(); now < due; now = clock_.microseconds()) {
    // Rounded up: waking up to a millisecond late is harmless, waking early
    // would only cost another round.
    const std::uint64_t ms = (due - now + 999) / 1000;
    clock_.sleepMilliseconds(static_cast<std::uint32_t>(std::min<std::uint64_t>(ms, 0xffffffff)));
  }
  const std::uint64_t current = fieldsSinceStart();
  missed_ += current - next_;
  next_ = current + 1;
  return current;
}

}  // namespace corvane::board
