// The toolkit's Thread: StartThread runs ThreadProc through the installed
// services, with the name and priority given at construction. Starting,
// naming and joining a real thread are platform::Thread's and tested there.
#include <gtest/gtest.h>

#include <functional>

#include "engine/toolkit.h"
#include "support/fake_toolkit.h"

namespace corvane::tk {
namespace {

class FunctionThread : public Thread {
 public:
  FunctionThread(std::function<void()> body, ThreadPriority priority)
      : Thread("function", priority), body_(std::move(body)) {}
  ~FunctionThread() override { Join(); }  // before body_ goes

 protected:
  void ThreadProc() override { body_(); }

 private:
  std::function<void()> body_;
};

TEST(ToolkitThread, StartsGoThroughTheInstalledServices) {
  int runs = 0;
  FunctionThread thread([&] { ++runs; }, ThreadPriority::TimeCritical);
  ASSERT_TRUE(thread.StartThread());  // the toolkit's own services: a real thread
  thread.Join();
  testing::FakeToolkit fake;
  EXPECT_TRUE(thread.StartThread());
  fake.refuseThreads = true;
  EXPECT_FALSE(thread.StartThread());
  EXPECT_EQ(runs, 2);
  ASSERT_EQ(fake.starts.size(), 2u);
  EXPECT_EQ(fake.starts[0].name, "function");
  EXPECT_EQ(fake.starts[0].priority, ThreadPriority::TimeCritical);
}

}  // namespace
}  // namespace corvane::tk
