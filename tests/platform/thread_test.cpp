// platform::Thread: the name, start failures, and the join rules (any thread,
// several at once, the thread itself).
#include "platform/thread.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace corvane::platform {
namespace {

std::string currentThreadName() {
  char name[32] = {};
  ::pthread_getname_np(::pthread_self(), name, sizeof name);
  return name;
}

// Each joiner, the starter's thread among them, must come back only after the
// body has returned; a join that returned early, or two pthread_join calls on
// one thread, would show here. A second start waits for the join.
TEST(PlatformThread, RunsNamedAndSeveralThreadsJoinIt) {
  Thread thread;
  std::string seenName;
  std::latch release(1);
  std::atomic<bool> finished{false};
  ASSERT_FALSE(thread.start({"corvane-playback-output"}, [&] {
    seenName = currentThreadName();
    release.wait();
    finished = true;
  }));
  EXPECT_EQ(thread.start({"second"}, [] {}), std::errc::operation_in_progress);
  std::atomic<int> sawFinished{0};
  std::vector<std::thread> joiners;
  for (int i = 0; i < 3; ++i)
    joiners.emplace_back([&] {
      thread.join();
      sawFinished += finished ? 1 : 0;
    });
  release.count_down();
  thread.join();
  for (auto& joiner : joiners) joiner.join();
  EXPECT_TRUE(finished && !thread.started());
  EXPECT_EQ(sawFinished.load(), 3);
  EXPECT_EQ(seenName, "corvane-playbac");  // the system keeps 15 characters
  ASSERT_FALSE(thread.start({"again"}, [&] { seenName = currentThreadName(); }));
  thread.join();
  EXPECT_EQ(seenName, "again");
}

// A device whose thread closes the device: the body joins its own thread, then
// destroys the object that owns it. The join must not wait for itself, and
// nothing may touch the freed object afterwards (ASan and TSan watch this).
TEST(PlatformThread, TheThreadMayDestroyItsOwnOwner) {
  auto* owner = new Thread;
  std::latch done(1);
  ASSERT_FALSE(owner->start({"self-ending"}, [&, owner] {
    owner->join();  // returns at once: it cannot wait for itself
    delete owner;
    done.count_down();
  }));
  done.wait();
}

// A child process whose address space is nearly full: starts fail with the
// system's reason instead of throwing, and the object stays idle.
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
