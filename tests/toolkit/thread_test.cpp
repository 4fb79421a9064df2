// The toolkit's Thread: StartThread runs ThreadProc on a thread of its own,
// through the installed services, and may be ended by its own ThreadProc.
#include <gtest/gtest.h>

#include <atomic>
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

TEST(ToolkitThread, RunsThreadProcOnANewThreadOncePerStart) {
  std::atomic<int> runs{0};
  std::thread::id ranOn;
  std::latch release(1);
  FunctionThread thread([&] {
    ranOn = std::this_thread::get_id();
    ++runs;
    release.wait();
  });
  ASSERT_TRUE(thread.StartThread());
  EXPECT_FALSE(thread.StartThread());  // still started until joined
  release.count_down();
  thread.Join();
  EXPECT_NE(ranOn, std::this_thread::get_id());
  ASSERT_TRUE(thread.StartThread());
  thread.Join();
  EXPECT_EQ(runs.load(), 2);
}

// A device whose thread closes the device: ~Thread on its own thread must
// neither wait for itself nor leave anything that touches the freed object.
TEST(ToolkitThread, ThreadProcMayDestroyItsOwnObject) {
  std::latch done(1);
  FunctionThread* self = nullptr;
  self = new FunctionThread([&] {
    std::latch& finished = done;  // the closure dies with the object
    delete self;
    finished.count_down();
  });
  ASSERT_TRUE(self->StartThread());
  done.wait();
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
