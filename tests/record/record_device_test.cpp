// The record device driven field by field through a fake input, where the
// board cannot show it: no allocation per frame, the causes the board cannot
// provoke at will (a full queue, a take restarted mid-frame, a failed
// create), and the bound on a stop's wait when no more frames come.
#include "record/record_device.h"

#include <gtest/gtest.h>

#include <array>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "support/allocation_counter.h"
#include "support/fake_board.h"
#include "support/temp_dir.h"

namespace corvane::record {
namespace {

using Info = engine::FrameInfoLayout;

// An input the test delivers by hand, on its own thread.
class HandInput : public testing::FakeBoard, public engine::MediaBroker {
 public:
  HandInput() : field_(720 * 480) {}
  engine::Handle OpenEngine() override { return 1; }
  engine::Handle FindEngineObject(engine::Handle) override { return 2; }
  engine::Handle CreateProbe(engine::Handle, const char*) override { return 3; }
  std::int32_t AttachProbe(engine::Handle, const char*) override { return 1; }
  std::int32_t SetProbeCallback(engine::Handle, void* context, engine::ProbeCallback callback) override {
    context_ = context;
    callback_ = callback;
    return 1;
  }
  std::int32_t FieldParity(const std::uint8_t* stamp) override { return stamp[0]; }
  std::uint32_t CurrentFrameCount(engine::Handle, std::int32_t, std::int32_t) override { return count_; }
  void ReturnInputFrame(std::uint32_t, std::uint32_t) override { ++returned; }

  // The next frame's fields (each filled with its count's low byte); the
  // count the board then reports is that frame's.
  void deliverFrame() {
    beginFrame();
    deliverField(count_, 1);
  }
  void beginFrame() { deliverField(++count_, 0); }
  void deliverField(std::uint32_t count, std::uint32_t parity) {
    const std::uint32_t samplesPerLine = 1716;
    std::array<std::uint8_t, Info::kSize> info{};
    std::memcpy(&info[Info::kFrameCount], &count, 4);
    std::memcpy(&info[Info::kParityStamp], &parity, 4);
    std::memcpy(&info[Info::kSamplesPerLine], &samplesPerLine, 4);
    std::fill(field_.begin(), field_.end(), static_cast<std::uint8_t>(count));
    callback_(context_, field_.data(), info.data());
  }
  std::uint32_t returned = 0;

 private:
  std::vector<std::uint8_t> field_;
  void* context_ = nullptr;
  engine::ProbeCallback callback_ = nullptr;
  std::uint32_t count_ = 0;
};

// Time moves only by sleeps; a closed gate holds every sleeper, which is how
// a test keeps the capture thread away from the queue.
class GateClock : public platform::Clock {
 public:
  std::uint64_t microseconds() override { return now_.load(); }
  std::uint32_t tickCount() override { return static_cast<std::uint32_t>(now_.load() / 1000); }
  void sleepMilliseconds(std::uint32_t ms) override {
    now_ += std::uint64_t{ms} * 1000;
    {
      std::unique_lock lock(mutex_);
      ++held_;
      changed_.notify_all();
      changed_.wait(lock, [&] { return open_; });
      --held_;
    }
    std::this_thread::yield();
  }
  void setOpen(bool open) {
    std::lock_guard lock(mutex_);
    open_ = open;
    changed_.notify_all();
  }
  void waitUntilHeld() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return held_ > 0; });
  }

 private:
  std::atomic<std::uint64_t> now_{1'000'000};
  std::mutex mutex_;
  std::condition_variable changed_;
  bool open_ = true;
  int held_ = 0;
};

class Device : public ::testing::Test {
 protected:
  RecordSeams seams() {
    return {input_, input_, 7, VideoMode{}, registry_, qvf::diskStorage(), clock_, dropped_};
  }
  void waitForFrames(const RecordDevice& device, std::uint32_t frames) {
    while (device.position().frames < frames) std::this_thread::yield();
  }
  std::uintmax_t fileFrames(const std::string& path) {
    return (std::filesystem::file_size(path) - 512) / (2 * 720 * 240 * 2);
  }
  std::uint32_t lost(const RecordDevice& device, LostCause cause) {
    return device.lostByCause()[static_cast<std::size_t>(cause)];
  }

  testing::TempDir dir_;
  HandInput input_;
  GateClock clock_;
  qvf::OpenFileRegistry registry_;
  std::atomic<bool> dropped_{false};
};

TEST_F(Device, NeitherTheCallbackNorTheCaptureThreadAllocatesPerFrame) {
  RecordDevice device(seams());
  const std::string path = dir_ / "take.qvf";
  ASSERT_TRUE(device.addFile(0, path.c_str()));
  device.start();
  input_.deliverFrame();  // the first frame creates the file
  waitForFrames(device, 1);
  const std::size_t before = testing::allocationCount();
  for (int i = 0; i < 10; ++i) input_.deliverFrame();
  waitForFrames(device, 11);
  EXPECT_EQ(testing::allocationCount(), before);
  EXPECT_TRUE(device.position().intact);
  EXPECT_EQ(input_.returned, 22u);
}

TEST_F(Device, ShortagesInTheCallbackAreCountedByCauseAndReachTheHostOnlyWhenAsked) {
  for (bool stopWhenDropped : {false, true}) {
    dropped_ = stopWhenDropped;
    {
      RecordDevice device(seams());  // no file: frames go for want of one
      device.start();
      input_.beginFrame();
      device.start();         // the half frame is left over
      input_.deliverFrame();  // meets it: both are gone, and this one's second field has no first
      EXPECT_EQ(lost(device, LostCause::UnfinishedFrame), 1u);
      EXPECT_EQ(device.position().intact, !stopWhenDropped);
    }
    RecordDevice device(seams());
    device.start();
    clock_.setOpen(false);
    clock_.waitUntilHeld();  // the capture thread takes nothing now
    for (std::size_t i = 0; i <= RecordDevice::kSlots; ++i) input_.deliverFrame();
    clock_.setOpen(true);
    EXPECT_EQ(lost(device, LostCause::NoFreeSlot), 1u);
    EXPECT_EQ(device.position().intact, !stopWhenDropped);
    while (lost(device, LostCause::NoFile) < RecordDevice::kSlots) std::this_thread::yield();
    EXPECT_EQ(device.position().frames, 0u) << "frames without a file are not the host's";
  }
}

TEST_F(Device, AFailedCreateIsAFailedWriteAndTheThreadRecordsTheNextFile) {
  RecordDevice device(seams());
  ASSERT_TRUE(device.addFile(0, (dir_ / "missing/take.qvf").c_str()));
  device.start();
  input_.deliverFrame();
  input_.deliverFrame();
  waitForFrames(device, 2);
  EXPECT_EQ(lost(device, LostCause::FailedWrite), 2u);
  EXPECT_FALSE(device.position().intact);

  const std::string path = dir_ / "take.qvf";
  ASSERT_TRUE(device.addFile(0, path.c_str())) << "no stop is pending: taken at once";
  device.start();
  input_.deliverFrame();
  waitForFrames(device, 1);
  EXPECT_TRUE(device.position().intact);
  EXPECT_EQ(fileFrames(path), 1u);
}

TEST_F(Device, AStopEndsTheTakeItselfWhenNoMoreFramesComeAndANewFileSwitchesAtOnce) {
  RecordDevice device(seams());
  const std::string first = dir_ / "first.qvf", second = dir_ / "second.qvf";
  ASSERT_TRUE(device.addFile(0, first.c_str()));
  device.start();
  input_.deliverFrame();
  input_.deliverFrame();
  waitForFrames(device, 2);
  ASSERT_TRUE(device.addFile(0, second.c_str()));
  for (int i = 0; i < 3; ++i) input_.deliverFrame();
  waitForFrames(device, 3);
  device.stop();  // the input is silent from here on
  EXPECT_EQ(registry_.openCount(), 1u) << "the take's file is closed; the first stays registered";
  EXPECT_EQ(fileFrames(first), 2u);
  EXPECT_EQ(fileFrames(second), 3u);
  EXPECT_EQ(lost(device, LostCause::AfterStop), 0u);
  EXPECT_TRUE(device.position().intact) << "no frame came after the stop";
  input_.deliverFrame();
  EXPECT_TRUE(device.position().intact) << "the take is over: later fields are not taken";
  EXPECT_TRUE(device.addFile(0, first.c_str())) << "nothing left to wait for";
}

}  // namespace
}  // namespace corvane::record
