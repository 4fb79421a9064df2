// platform::Thread: the join rules (any thread, several at once, the thread
// itself) and starting again once joined.
#include "platform/thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <latch>
#include <thread>
#include <vector>

#include "support/deadline.h"

namespace corvane::platform {
namespace {

using corvane::testing::finishWithin;

// Each joiner, the starter's thread among them, must come back only after the
// body has returned; a join that returned early, or two native joins of one
// thread, would show here. A second start waits for the join.
TEST(PlatformThread, SeveralThreadsJoinItAndItStartsAgain) {
  Thread thread;
  std::latch release(1);
  std::atomic<bool> finished{false};
  ASSERT_FALSE(thread.start({"corvane-playback-output"}, [&] {
    release.wait();
    finished = true;
  }));
  EXPECT_TRUE(thread.started());
  EXPECT_EQ(thread.start({"second"}, [] {}), std::errc::operation_in_progress);
  std::atomic<int> sawFinished{0};
  finishWithin(std::chrono::seconds(60), "joining a thread from four threads", [&] {
    std::vector<std::thread> joiners;
    for (int i = 0; i < 3; ++i)
      joiners.emplace_back([&] {
        thread.join();
        sawFinished += finished ? 1 : 0;
      });
    release.count_down();
    thread.join();
    for (auto& joiner : joiners) joiner.join();
  });
  EXPECT_TRUE(finished && !thread.started());
  EXPECT_EQ(sawFinished.load(), 3);
  std::atomic<bool> ranAgain{false};
  ASSERT_FALSE(thread.start({"again", ThreadPriority::TimeCritical}, [&] { ranAgain = true; }));
  finishWithin(std::chrono::seconds(60), "joining the thread started again", [&] { thread.join(); });
  EXPECT_TRUE(ranAgain);
}

// A device whose thread closes the device: the body joins its own thread, then
// destroys the object that owns it. The join must not wait for itself, and
// nothing may touch the freed object afterwards (ASan and TSan watch this).
// Twice, so that a thread the first one left unreclaimed would show.
TEST(PlatformThread, TheThreadMayDestroyItsOwnOwner) {
  for (int round = 0; round < 2; ++round) {
    auto* owner = new Thread;
    std::latch done(1);
    ASSERT_FALSE(owner->start({"self-ending"}, [&, owner] {
      owner->join();  // returns at once: it cannot wait for itself
      delete owner;
      done.count_down();
    }));
    finishWithin(std::chrono::seconds(60), "a thread that joins itself and deletes its owner",
                 [&] { done.wait(); });
  }
}

// The owner destroyed on its own thread while another thread joins: that join
// completes it, and the destructor's join neither waits for itself nor frees
// what the other joiner still uses.
TEST(PlatformThread, AJoinFromOutsideRacesTheThreadLettingItselfGo) {
  Thread thread;
  std::latch joining(1);
  ASSERT_FALSE(thread.start({"self-join"}, [&] {
    joining.wait();
    thread.join();  // let go, or completed by the outside join
  }));
  finishWithin(std::chrono::seconds(60), "joining a thread that joins itself", [&] {
    joining.count_down();
    thread.join();
  });
  EXPECT_FALSE(thread.started());
}

}  // namespace
}  // namespace corvane::platform
