#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <latch>

#include "engine/toolkit.h"

namespace corvane::tk {
namespace {

class FunctionThread : public Thread {
 public:
  explicit FunctionThread(std::function<void()> body) : body_(std::move(body)) {}

 protected:
  void ThreadProc() override {
    auto body = body_;  // ~Thread joins after the derived part, body_, is gone
    body();
  }

 private:
  std::function<void()> body_;
};

TEST(ToolkitThread, RunsThreadProcOnANewThreadOncePerStart) {
  std::atomic<int> runs{0};
  std::thread::id ranOn;
  FunctionThread thread([&] {
    ranOn = std::this_thread::get_id();
    ++runs;
  });
  ASSERT_TRUE(thread.StartThread());
  EXPECT_FALSE(thread.StartThread());  // still started until joined
  thread.Join();
  EXPECT_NE(ranOn, std::this_thread::get_id());
  ASSERT_TRUE(thread.StartThread());
  thread.Join();
  EXPECT_EQ(runs.load(), 2);
}

// The work after the gate takes a while; a destructor that did not wait would
// return before it is done.
TEST(ToolkitThread, DestructorWaitsForThreadProc) {
  std::latch started(1);
  std::atomic<bool> finished{false};
  {
    FunctionThread thread([&] {
      started.count_down();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      finished = true;
    });
    ASSERT_TRUE(thread.StartThread());
    started.wait();
  }
  EXPECT_TRUE(finished.load());
}

}  // namespace
}  // namespace corvane::tk
