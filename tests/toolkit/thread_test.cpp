#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <latch>

#include "engine/toolkit.h"

namespace corvane::tk {
namespace {

class CountingThread : public Thread {
 public:
  std::atomic<int> runs{0};
  std::thread::id ranOn;

 protected:
  void ThreadProc() override {
    ranOn = std::this_thread::get_id();
    runs.fetch_add(1);
  }
};

TEST(ToolkitThread, RunsThreadProcOnANewThreadOncePerStart) {
  CountingThread thread;
  ASSERT_TRUE(thread.StartThread());
  EXPECT_FALSE(thread.StartThread());  // still started until joined
  thread.Join();
  EXPECT_EQ(thread.runs.load(), 1);
  EXPECT_NE(thread.ranOn, std::this_thread::get_id());

  ASSERT_TRUE(thread.StartThread());
  thread.Join();
  EXPECT_EQ(thread.runs.load(), 2);
}

// The work after the gate takes a while; a destructor that did not wait would
// return before it is done. ThreadProc is already running when the object goes
// (it must be: the derived part dies before ~Thread).
TEST(ToolkitThread, DestructorWaitsForThreadProc) {
  std::latch started(1);
  std::latch gate(1);
  std::atomic<bool> finished{false};
  class SlowThread : public Thread {
   public:
    SlowThread(std::latch& started, std::latch& gate, std::atomic<bool>& finished)
        : started_(&started), gate_(&gate), finished_(&finished) {}

   protected:
    void ThreadProc() override {
      std::latch* gate = gate_;
      std::atomic<bool>* finished = finished_;
      started_->count_down();
      gate->wait();
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      finished->store(true);
    }

   private:
    std::latch* started_;
    std::latch* gate_;
    std::atomic<bool>* finished_;
  };
  {
    SlowThread thread(started, gate, finished);
    ASSERT_TRUE(thread.StartThread());
    started.wait();
    gate.count_down();
  }
  EXPECT_TRUE(finished.load());
}

}  // namespace
}  // namespace corvane::tk
