// The real clock, the priority switches and process exit.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/time.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "platform/clock.h"
#include "platform/process.h"
#include "platform/test_support.h"
#include "platform/thread.h"

namespace corvane::platform {
namespace {

TEST(SystemClock, TickCountIsTheMicrosecondClockInMilliseconds) {
  Clock& clock = systemClock();
  const std::uint64_t before = clock.microseconds();
  const std::uint32_t tick = clock.tickCount();
  const std::uint64_t after = clock.microseconds();
  EXPECT_LE(before, after);
  EXPECT_GE(tick, static_cast<std::uint32_t>(before / 1000));
  EXPECT_LE(tick, static_cast<std::uint32_t>(after / 1000));
}

void onAlarm(int) {}

// A signal arriving during a sleep must not cut it short: the clock, which
// never runs backwards, shows at least the requested time.
TEST(SystemClock, SleepOutlastsInterruptingSignals) {
  struct sigaction action {};
  struct sigaction previous {};
  action.sa_handler = onAlarm;  // no SA_RESTART: nanosleep sees EINTR
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(::sigaction(SIGALRM, &action, &previous), 0);
  itimerval every2ms{};
  every2ms.it_interval.tv_usec = 2000;
  every2ms.it_value.tv_usec = 2000;
  ASSERT_EQ(::setitimer(ITIMER_REAL, &every2ms, nullptr), 0);

  Clock& clock = systemClock();
  const std::uint64_t start = clock.microseconds();
  clock.sleepMilliseconds(30);
  const std::uint64_t elapsed = clock.microseconds() - start;

  itimerval off{};
  ::setitimer(ITIMER_REAL, &off, nullptr);
  ::sigaction(SIGALRM, &previous, nullptr);
  EXPECT_GE(elapsed, 30000u);
}

TEST(Priorities, RealtimeIsOffOnlyForZero) {
  {
    test::ScopedEnv unset("CORVANE_REALTIME", std::nullopt);
    EXPECT_TRUE(realtimeAllowed());
  }
  for (const char* on : {"1", "", "00", "false"}) {
    test::ScopedEnv env("CORVANE_REALTIME", on);
    EXPECT_TRUE(realtimeAllowed()) << '"' << on << '"';
  }
  test::ScopedEnv off("CORVANE_REALTIME", "0");
  EXPECT_FALSE(realtimeAllowed());
}

TEST(Priorities, DisabledRealtimeLeavesThreadAndProcessAsTheyWere) {
  test::ScopedEnv off("CORVANE_REALTIME", "0");
  errno = 0;
  const int niceBefore = ::getpriority(PRIO_PROCESS, 0);
  ASSERT_EQ(errno, 0);
  int policy = -1;
  std::thread worker([&] {
    raiseCurrentThreadToTimeCritical();
    sched_param param{};
    ::pthread_getschedparam(::pthread_self(), &policy, &param);
  });
  worker.join();
  raiseProcessToHighPriority();
  EXPECT_EQ(policy, SCHED_OTHER);
  EXPECT_EQ(::getpriority(PRIO_PROCESS, 0), niceBefore);
}

TEST(ProcessDeathTest, ExitRunsTheExitRoutinesAndKeepsTheCode) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      {
        std::atexit([] { std::fputs("exit routine ran\n", stderr); });
        exitProcess(1);
      },
      ::testing::ExitedWithCode(1), "exit routine ran");
}

}  // namespace
}  // namespace corvane::platform
