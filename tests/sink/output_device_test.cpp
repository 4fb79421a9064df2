// The output device as its one owner: only the handles it gave out and has
// not closed are served, a close racing calls on other threads frees nothing
// under them, and the buffers the host holds outlive the engine.
#include "sink/output_device.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "support/config_sandbox.h"
#include "support/playback_fakes.h"

namespace corvane::sink {
namespace {

using testing::RecordingBoard;
using testing::SteppingClock;

class Device : public ::testing::Test {
 protected:
  void* open() { return device_.open(SinkOpenRequest{}, nullptr); }
  static FullBuffer dropped(std::uint8_t* data) {
    FullBuffer buffer;
    buffer.data = data;
    buffer.drop = true;
    return buffer;
  }

  corvane::testing::ConfigSandbox config_;
  SteppingClock clock_;
  RecordingBoard board_{clock_, 16};
  std::atomic<std::uint32_t> drops_{0};
  OutputDevice device_{OutputDeviceSeams{board_, clock_, VideoMode::fromSetting(1), [this] { ++drops_; }}};
};

// The engine's drops leave the device through its seam, one call a frame.
TEST_F(Device, EachDroppedFrameIsReportedThroughTheSeam) {
  board_.refuse = true;
  device_.makeEngine();
  void* handle = open();
  for (int i = 0; i < 2; ++i) {
    FullBuffer frame;
    frame.data = device_.takeEmptyBuffer(handle);
    frame.presentationTime = 1000 + i;
    frame.format = exports::PixelFormat::Ycbcr422;
    ASSERT_EQ(device_.addFullBuffer(handle, frame), 1);
  }
  ASSERT_TRUE(device_.start(handle));
  EXPECT_TRUE(device_.stop(handle)) << "the queue never drained";
  EXPECT_EQ(drops_, 2u);
  EXPECT_EQ(board_.submitted(), 0u);
}

TEST_F(Device, ServesOnlyTheHandlesItGaveOutAndHasNotClosed) {
  device_.makeEngine();
  void* handle = open();
  std::uint8_t stranger[976] = {};
  EXPECT_TRUE(device_.isOpen(handle));
  EXPECT_FALSE(device_.isOpen(stranger));
  EXPECT_EQ(device_.takeEmptyBuffer(stranger), nullptr);
  EXPECT_FALSE(device_.start(stranger));
  EXPECT_TRUE(device_.close(handle));
  EXPECT_FALSE(device_.close(handle)) << "a second close finds nothing";
  EXPECT_EQ(device_.takeEmptyBuffer(handle), nullptr);
  EXPECT_EQ(device_.offeredFormats(handle), nullptr);
}

// Run under TSan: the calls and the close share nothing but the table.
TEST_F(Device, ACloseRacingCallsOnOtherThreadsFreesNothingUnderThem) {
  device_.makeEngine();
  void* handle = open();
  std::atomic<int> startsAfterClose{0};
  std::atomic<bool> closed{false};
  std::vector<std::thread> hosts;
  for (int t = 0; t < 3; ++t) {
    hosts.emplace_back([&] {
      for (int i = 0; i < 400; ++i) {
        std::uint8_t* data = device_.takeEmptyBuffer(handle);
        if (data != nullptr) device_.addFullBuffer(handle, dropped(data));
        // A close that returned has taken the handle out for every thread.
        const bool closedBefore = closed.load();
        if (device_.start(handle) && closedBefore) ++startsAfterClose;
      }
    });
  }
  std::this_thread::yield();
  EXPECT_TRUE(device_.close(handle));
  closed = true;
  for (std::thread& host : hosts) host.join();
  EXPECT_EQ(startsAfterClose.load(), 0);
}

TEST_F(Device, BuffersTheHostHoldsOutliveTheEngineAndItsEnd) {
  device_.makeEngine();
  void* handle = open();
  std::uint8_t* held = device_.takeEmptyBuffer(handle);
  ASSERT_NE(held, nullptr);
  device_.closeEngine();
  EXPECT_EQ(device_.keptBuffers(), 1u);
  held[0] = 0x5A;  // the host writes its last frame after the close
  device_.makeEngine();
  board_.closed = false;
  device_.end();
  EXPECT_FALSE(device_.isOpen(handle)) << "the unload ends every handle";
  EXPECT_TRUE(board_.closed) << "and the engine's stream";
  held[1] = 0x5A;  // still the host's until the device itself goes
}

}  // namespace
}  // namespace corvane::sink
