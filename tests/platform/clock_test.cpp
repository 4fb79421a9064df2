// Sleeping to an absolute deadline: the system clock never wakes before it,
// and the portable fallback sleeps what is left, rounded as the clock's own
// relative sleep rounds.
#include "platform/clock.h"

#include <gtest/gtest.h>

#include "support/fake_clock.h"

namespace corvane::platform {
namespace {

TEST(Clock, TheSystemClockNeverWakesBeforeTheDeadline) {
  Clock& clock = systemClock();
  for (std::uint64_t ahead : {1u, 300u, 2500u}) {
    const std::uint64_t deadline = clock.microseconds() + ahead;
    clock.sleepUntilMicroseconds(deadline);
    EXPECT_GE(clock.microseconds(), deadline) << ahead << " us ahead";
  }
}

TEST(Clock, ThePortableDeadlineSleepsWhatIsLeftAndNothingForAPastOne) {
  testing::FakeClock clock;
  clock.sleepUntilMicroseconds(clock.now + 2500);
  ASSERT_EQ(clock.sleeps, (std::vector<std::uint32_t>{3}));
  clock.sleepUntilMicroseconds(clock.now);
  clock.sleepUntilMicroseconds(clock.now - 700);
  EXPECT_EQ(clock.sleeps.size(), 1u) << "a deadline that has passed sleeps at all";
  clock.sleepUntilMicroseconds(clock.now + 1);
  EXPECT_EQ(clock.sleeps.back(), 1u) << "a sliver left still sleeps, rounded up";
}

}  // namespace
}  // namespace corvane::platform
