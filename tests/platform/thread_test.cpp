// platform::Thread: names, priorities, start failures, and the join rules
// (any thread, several at once, the thread itself).
#include "platform/thread.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <fstream>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/test_support.h"

namespace corvane::platform {
namespace {

std::string currentThreadName() {
  char name[32] = {};
  ::pthread_getname_np(::pthread_self(), name, sizeof name);
  return name;
}

int currentPolicy() {
  int policy = -1;
  sched_param param{};
  ::pthread_getschedparam(::pthread_self(), &policy, &param);
  return policy;
}

TEST(PlatformThread, RunsTheBodyNamedOnAnotherThreadAndStartsAgainOnlyOnceJoined) {
  Thread thread;
  std::string seenName;
  std::thread::id ranOn;
  std::latch release(1);
  ASSERT_FALSE(thread.start({"corvane-playback-output", ThreadPriority::Normal}, [&] {
    seenName = currentThreadName();
    ranOn = std::this_thread::get_id();
    release.wait();
  }));
  EXPECT_TRUE(thread.started());
  EXPECT_EQ(thread.start({"second"}, [] {}), std::errc::operation_in_progress);
  release.count_down();
  thread.join();
  EXPECT_FALSE(thread.started());
  EXPECT_EQ(seenName, "corvane-playbac");  // the system keeps 15 characters
  EXPECT_NE(ranOn, std::this_thread::get_id());
  ASSERT_FALSE(thread.start({"again"}, [&] { seenName = currentThreadName(); }));
  thread.join();
  EXPECT_EQ(seenName, "again");
}

// Each joiner must come back only after the body has returned; a join that
// returned early, or two pthread_join calls on one thread, would show here.
TEST(PlatformThread, SeveralThreadsJoinAtOnce) {
  std::latch release(1);
  std::atomic<bool> finished{false};
  auto thread = std::make_unique<Thread>();
  ASSERT_FALSE(thread->start({"joined"}, [&] {
    release.wait();
    finished = true;
  }));
  std::atomic<int> sawFinished{0};
  std::vector<std::thread> joiners;
  for (int i = 0; i < 3; ++i) {
    joiners.emplace_back([&] {
      thread->join();
      if (finished) ++sawFinished;
    });
  }
  release.count_down();
  for (auto& joiner : joiners) joiner.join();
  EXPECT_EQ(sawFinished.load(), 3);
}

// A device whose thread closes the device: the body joins its own thread, then
// destroys the object that owns it. The join must not wait for itself, and
// nothing may touch the freed object afterwards (ASan and TSan watch this).
TEST(PlatformThread, TheThreadMayDestroyItsOwnOwner) {
  struct Owner {
    Thread thread;
    int value = 7;
  };
  auto* owner = new Owner;
  std::latch done(1);
  int seen = 0;
  ASSERT_FALSE(owner->thread.start({"self-ending"}, [&, owner] {
    seen = owner->value;
    owner->thread.join();  // returns at once: it cannot wait for itself
    delete owner;
    done.count_down();
  }));
  done.wait();
  EXPECT_EQ(seen, 7);
}

TEST(PlatformThread, TimeCriticalRaisesTheNewThreadWhereTheSystemAllows) {
  const auto policyOf = [](ThreadPriority priority) {
    Thread thread;
    int policy = -1;
    EXPECT_FALSE(thread.start({"priority", priority}, [&] { policy = currentPolicy(); }));
    thread.join();
    return policy;
  };
  {
    test::ScopedEnv off("CORVANE_REALTIME", "0");
    EXPECT_FALSE(realtimeAllowed());
    errno = 0;
    const int niceBefore = ::getpriority(PRIO_PROCESS, 0);
    ASSERT_EQ(errno, 0);
    EXPECT_EQ(policyOf(ThreadPriority::TimeCritical), SCHED_OTHER);
    raiseProcessToHighPriority();
    EXPECT_EQ(::getpriority(PRIO_PROCESS, 0), niceBefore);
  }
  test::ScopedEnv on("CORVANE_REALTIME", "00");  // only "0" switches it off
  EXPECT_TRUE(realtimeAllowed());
  EXPECT_EQ(policyOf(ThreadPriority::Normal), SCHED_OTHER);
  int permitted = -1;
  std::thread probe([&] {
    raiseCurrentThreadToTimeCritical();
    permitted = currentPolicy();
  });
  probe.join();
  if (permitted != SCHED_FIFO) GTEST_SKIP() << "real-time scheduling is not permitted here";
  EXPECT_EQ(policyOf(ThreadPriority::TimeCritical), SCHED_FIFO);
}

// A child process whose address space is nearly full: starts fail with the
// system's reason instead of throwing, and the object stays usable.
TEST(PlatformThread, AStartTheSystemRefusesIsAnErrorCode) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers need address space of their own";
#endif
  const pid_t child = ::fork();
  if (child == 0) {
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t limit =
        static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (1 << 20);
    const rlimit cap{limit, limit};
    if (::setrlimit(RLIMIT_AS, &cap) != 0) ::_exit(2);
    std::latch release(1);
    std::vector<std::unique_ptr<Thread>> threads;
    std::error_code error;
    // Stacks cached from earlier threads may serve a few starts first.
    while (!error && threads.size() < 1000) {
      threads.push_back(std::make_unique<Thread>());
      error = threads.back()->start({"filler"}, [&] { release.wait(); });
    }
    const bool refused = error == std::errc::resource_unavailable_try_again && !threads.back()->started();
    release.count_down();
    threads.clear();
    ::_exit(refused ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

}  // namespace
}  // namespace corvane::platform
