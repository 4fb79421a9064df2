// The toolkit's Thread: StartThread runs ThreadProc through the installed
// services. Starting, naming, joining and a thread ending its own object are
// platform::Thread's and tested there.
#include <gtest/gtest.h>

#include <functional>
#include <latch>
#include <thread>

#include "engine/toolkit.h"
#include "support/fake_toolkit.h"

namespace corvane::tk {
namespace {

class FunctionThread : public Thread {
 public:
  explicit FunctionThread(std::function<void()> body, ThreadPriority priority = ThreadPriority::Normal)
      : Thread("function", priority), body_(std::move(body)) {}
  ~FunctionThread() override { Join(); }  // before body_ goes

 protected:
  void ThreadProc() override { body_(); }

 private:
  std::function<void()> body_;
};

TEST(ToolkitThread, TheToolkitsOwnServicesStartARealThread) {
  std::thread::id ranOn;
  std::latch release(1);
  FunctionThread thread([&] {
    ranOn = std::this_thread::get_id();
    release.wait();
  });
  ASSERT_TRUE(thread.StartThread());
  EXPECT_FALSE(thread.StartThread());  // still started until joined
  release.count_down();
  thread.Join();
  EXPECT_NE(ranOn, std::this_thread::get_id());
}

TEST(ToolkitThread, StartsGoThroughTheInstalledServices) {
  testing::FakeToolkit fake;
  int runs = 0;
  FunctionThread thread([&] { ++runs; }, ThreadPriority::TimeCritical);
  EXPECT_TRUE(thread.StartThread());
  EXPECT_EQ(runs, 1);
  fake.refuseThreads = true;
  EXPECT_FALSE(thread.StartThread());
  EXPECT_EQ(runs, 1);
  ASSERT_EQ(fake.starts.size(), 2u);
  EXPECT_EQ(fake.starts[0].name, "function");
  EXPECT_EQ(fake.starts[0].priority, ThreadPriority::TimeCritical);
}

}  // namespace
}  // namespace corvane::tk
