// The real clock's sleep and the priority switches.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/time.h>

#include <cerrno>
#include <thread>

#include "platform/clock.h"
#include "platform/test_support.h"
#include "platform/thread.h"

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

TEST(Priorities, RealtimeOffLeavesThreadAndProcessAsTheyWere) {
  for (const char* on : {"1", "", "00", "false"}) {
    test::ScopedEnv env("CORVANE_REALTIME", on);
    EXPECT_TRUE(realtimeAllowed()) << '"' << on << '"';
  }
  test::ScopedEnv off("CORVANE_REALTIME", "0");
  EXPECT_FALSE(realtimeAllowed());
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

}  // namespace
}  // namespace corvane::platform
