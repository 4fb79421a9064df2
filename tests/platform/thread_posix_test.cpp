// platform::Thread where only POSIX shows it: the name through pthreads, and a
// start refused under an address-space limit in a forked child.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <latch>
#include <memory>
#include <string>
#include <vector>

#include "platform/thread.h"

namespace corvane::platform {
namespace {

std::string currentThreadName() {
  char name[32] = {};
  ::pthread_getname_np(::pthread_self(), name, sizeof name);
  return name;
}

TEST(PlatformThreadPosix, RunsUnderItsNameCutToWhatTheSystemKeeps) {
  Thread thread;
  std::string seenName;
  ASSERT_FALSE(thread.start({"corvane-playback-output"}, [&] { seenName = currentThreadName(); }));
  thread.join();
  EXPECT_EQ(seenName, "corvane-playbac");  // the system keeps 15 characters
  ASSERT_FALSE(thread.start({"again"}, [&] { seenName = currentThreadName(); }));
  thread.join();
  EXPECT_EQ(seenName, "again");
}

// A child process whose address space is nearly full: starts fail with the
// system's reason instead of throwing, and the object stays idle.
TEST(PlatformThreadPosix, AStartTheSystemRefusesIsAnErrorCode) {
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
