// The toolkit's Thread: StartThread runs ThreadProc through the installed
// services, and the object may be ended by its own ThreadProc. Starting,
// naming and joining are platform::Thread's and tested there.
#include <gtest/gtest.h>

#include <functional>
#include <latch>

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
