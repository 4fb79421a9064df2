// The real clock's sleep.
#include "platform/clock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/time.h>

namespace corvane::platform {
namespace {

// A signal arriving during a sleep must not cut it short: the clock, which
// never runs backwards, shows at least the requested time.
TEST(SystemClock, SleepOutlastsInterruptingSignals) {
  struct sigaction action {};
  struct sigaction previous {};
  action.sa_handler = [](int) {};  // no SA_RESTART: nanosleep sees EINTR
  ASSERT_EQ(::sigaction(SIGALRM, &action, &previous), 0);
  itimerval every2ms{{0, 2000}, {0, 2000}};
  ASSERT_EQ(::setitimer(ITIMER_REAL, &every2ms, nullptr), 0);
  const std::uint64_t start = systemClock().microseconds();
  systemClock().sleepMilliseconds(30);
  const std::uint64_t elapsed = systemClock().microseconds() - start;
  itimerval off{};
  ::setitimer(ITIMER_REAL, &off, nullptr);
  ::sigaction(SIGALRM, &previous, nullptr);
  EXPECT_GE(elapsed, 30000u);
}

}  // namespace
}  // namespace corvane::platform
