// The record device driven field by field through a fake input, where the
// board cannot show it: no allocation per frame, the causes the board cannot
// provoke at will (a full queue, a take restarted mid-frame, a failed
// create), and the bound on a stop's wait when no more frames come.
#include "record/record_device.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "qvf/faulty_storage.h"
#include "support/allocation_counter.h"
#include "support/fake_board.h"
#include "support/temp_dir.h"

namespace corvane::record {
namespace {

using Info = engine::FrameInfoLayout;

// Every byte of a delivered field: the two fields of a frame differ, and so do
// neighbouring frames.
std::uint8_t fieldByte(std::uint32_t count, std::uint32_t parity) {
  return static_cast<std::uint8_t>(count * 2 + parity);
}

// An input the test delivers by hand, on its own thread.
class HandInput : public testing::FakeBoard, public engine::MediaBroker {
 public:
  explicit HandInput(std::size_t fieldBytes = 720 * 480) : field_(fieldBytes) {}
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

  // The next frame's fields (each filled with fieldByte of its count and
  // parity); the count the board then reports is that frame's.
  void deliverFrame() {
    beginFrame();
    deliverField(count_, 1);
  }
  void beginFrame() { deliverField(++count_, 0); }
  void deliverField(std::uint32_t count, std::uint32_t parity) {
    std::array<std::uint8_t, Info::kSize> info{};
    std::memcpy(&info[Info::kFrameCount], &count, 4);
    std::memcpy(&info[Info::kParityStamp], &parity, 4);
    std::memcpy(&info[Info::kSamplesPerLine], &samplesPerLine, 4);
    std::fill(field_.begin(), field_.end(), fieldByte(count, parity));
    callback_(context_, field_.data(), info.data());
  }
  std::uint32_t returned = 0;
  std::uint32_t samplesPerLine = 1716;  // 1728: the input carries PAL

 private:
  std::vector<std::uint8_t> field_;
  void* context_ = nullptr;
  engine::ProbeCallback callback_ = nullptr;
  std::uint32_t count_ = 0;
};

// The capture thread reaches any state a test waits for well within this;
// past it the test fails with what it saw instead of hanging.
constexpr auto kWaitBound = std::chrono::seconds(10);

// Waits until done() holds, failing with state() once the bound has passed.
template <class Done, class State>
::testing::AssertionResult waitUntil(Done done, State state) {
  const auto deadline = std::chrono::steady_clock::now() + kWaitBound;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline)
      return ::testing::AssertionFailure() << "waited 10 s; " << state();
    std::this_thread::yield();
  }
  return ::testing::AssertionSuccess();
}

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
  // False when no thread came to sleep within the bound.
  bool waitUntilHeld() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kWaitBound, [&] { return held_ > 0; });
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
  static ::testing::AssertionResult waitForFrames(const RecordDevice& device, std::uint32_t frames) {
    return waitUntil([&] { return device.position().frames >= frames; },
                     [&] {
                       return "the position stands at " + std::to_string(device.position().frames) +
                              ", not " + std::to_string(frames);
                     });
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
  ASSERT_TRUE(waitForFrames(device, 1));
  const std::size_t before = testing::allocationCount();
  for (int i = 0; i < 10; ++i) input_.deliverFrame();
  ASSERT_TRUE(waitForFrames(device, 11));
  EXPECT_EQ(testing::allocationCount(), before);
  EXPECT_TRUE(device.position().intact);
  EXPECT_EQ(input_.returned, 22u);
}

// Frames wait in the slots while the capture thread is held, and every slot
// is used at once: each frame must reach the file as delivered, its first
// field in stream 0's chunk and its second in stream 1's, whatever the slot.
TEST_F(Device, EveryFrameReachesTheFileAsDeliveredFromEverySlot) {
  struct Case {
    const char* name;
    std::int32_t videoMode;    // the setting: 0 is PAL
    std::uint32_t heldFrames;  // delivered while the capture thread is held
    std::uint32_t laterFrames;
    std::uint32_t noFreeSlot;  // frames that found no slot
  };
  const Case cases[] = {
      {"one frame", 1, 1, 0, 0},
      {"every slot filled, then used again", 1, RecordDevice::kSlots, 25, 0},
      {"a frame more than the slots hold is lost, the others intact", 1, RecordDevice::kSlots + 1, 3, 1},
      {"PAL: larger slots", 0, RecordDevice::kSlots, 3, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const VideoMode mode = VideoMode::fromSetting(c.videoMode);
    const std::size_t fieldBytes = std::size_t{mode.frameWidth} * mode.frameHeight;
    HandInput input(fieldBytes);
    input.samplesPerLine = mode.isNtsc != 0 ? 1716 : 1728;
    const std::string path = dir_ / ("exact" + std::to_string(c.videoMode) + ".qvf");
    RecordDevice device({input, input, 7, mode, registry_, qvf::diskStorage(), clock_, dropped_});
    ASSERT_TRUE(device.addFile(0, path.c_str()));
    device.start();
    clock_.setOpen(false);
    ASSERT_TRUE(clock_.waitUntilHeld()) << "the capture thread never came to poll";
    for (std::uint32_t i = 0; i < c.heldFrames; ++i) input.deliverFrame();
    clock_.setOpen(true);
    std::uint32_t kept = c.heldFrames - c.noFreeSlot;
    for (std::uint32_t i = 0; i < c.laterFrames; ++i) {
      // Half the slots may wait: none is lost, and they are taken over again.
      ASSERT_TRUE(waitForFrames(device, kept - std::min(kept, std::uint32_t{RecordDevice::kSlots / 2})));
      input.deliverFrame();
      ++kept;
    }
    ASSERT_TRUE(waitForFrames(device, kept));
    device.stop();
    EXPECT_EQ(lost(device, LostCause::NoFreeSlot), c.noFreeSlot);

    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::vector<std::uint8_t> bytes(512 + kept * 2 * fieldBytes + 1);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
    ASSERT_EQ(bytes.size(), 512 + kept * 2 * fieldBytes) << "the file holds the kept frames, nothing more";
    std::uint32_t count = 1;
    for (std::uint32_t n = 0; n < kept; ++n, ++count) {
      if (n == RecordDevice::kSlots) count += c.noFreeSlot;  // the frames that found no slot
      for (std::uint32_t parity = 0; parity < 2; ++parity) {
        const auto field = bytes.begin() + 512 + (2 * n + parity) * fieldBytes;
        const auto wrong = std::find_if(field, field + fieldBytes,
                                        [&](std::uint8_t b) { return b != fieldByte(count, parity); });
        ASSERT_EQ(wrong, field + fieldBytes)
            << "frame " << n << " field " << parity << ": byte " << (wrong - field) << " is " << int{*wrong}
            << ", not " << int{fieldByte(count, parity)};
      }
    }
  }
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
    ASSERT_TRUE(clock_.waitUntilHeld());  // the capture thread takes nothing now
    for (std::size_t i = 0; i <= RecordDevice::kSlots; ++i) input_.deliverFrame();
    clock_.setOpen(true);
    EXPECT_EQ(lost(device, LostCause::NoFreeSlot), 1u);
    EXPECT_EQ(device.position().intact, !stopWhenDropped);
    ASSERT_TRUE(waitUntil(
        [&] { return lost(device, LostCause::NoFile) >= RecordDevice::kSlots; },
        [&] { return std::to_string(lost(device, LostCause::NoFile)) + " frames went for want of a file"; }));
    EXPECT_EQ(device.position().frames, 0u) << "frames without a file are not the host's";
  }
}

TEST_F(Device, AFailedCreateIsAFailedWriteAndTheThreadRecordsTheNextFile) {
  RecordDevice device(seams());
  ASSERT_TRUE(device.addFile(0, (dir_ / "missing/take.qvf").c_str()));
  device.start();
  input_.deliverFrame();
  input_.deliverFrame();
  ASSERT_TRUE(waitForFrames(device, 2));
  EXPECT_EQ(lost(device, LostCause::FailedWrite), 2u);
  EXPECT_FALSE(device.position().intact);

  const std::string path = dir_ / "take.qvf";
  ASSERT_TRUE(device.addFile(0, path.c_str())) << "no stop is pending: taken at once";
  device.start();
  input_.deliverFrame();
  ASSERT_TRUE(waitForFrames(device, 1));
  EXPECT_TRUE(device.position().intact);
  EXPECT_EQ(device.firstWriteError(), 0);
  EXPECT_EQ(fileFrames(path), 1u);
}

TEST_F(Device, AStopEndsTheTakeItselfWhenNoMoreFramesComeAndANewFileSwitchesAtOnce) {
  RecordDevice device(seams());
  const std::string first = dir_ / "first.qvf", second = dir_ / "second.qvf";
  ASSERT_TRUE(device.addFile(0, first.c_str()));
  device.start();
  input_.deliverFrame();
  input_.deliverFrame();
  ASSERT_TRUE(waitForFrames(device, 2));
  ASSERT_TRUE(device.addFile(0, second.c_str()));
  for (int i = 0; i < 3; ++i) input_.deliverFrame();
  ASSERT_TRUE(waitForFrames(device, 3));
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

TEST_F(Device, TheLossRulesCountEachCauseAndEndTheTakeThroughThePosition) {
  struct Case {
    const char* name;
    std::uint32_t limit;
    std::uint32_t samplesPerLine;
    std::uint32_t frames;  // delivered
    std::uint32_t kept;    // in the file
    bool intact;
    std::optional<LostCause> cause;
    std::uint32_t lost;
  };
  const Case cases[] = {
      {"a limit of 5 keeps 6 frames and the 7th is over it", 5, 1716, 7, 6, false, LostCause::OverLimit, 1},
      {"a limit of 0 is none", 0, 1716, 7, 7, true, std::nullopt, 0},
      {"the other standard writes nothing, once per first field", 0, 1728, 3, 0, false,
       LostCause::WrongStandard, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    input_.samplesPerLine = c.samplesPerLine;
    const std::string path = dir_ / (std::to_string(c.limit) + std::to_string(c.samplesPerLine) + ".qvf");
    RecordDevice device(seams());
    ASSERT_TRUE(device.addFile(c.limit, path.c_str()));
    device.start();
    for (std::uint32_t i = 0; i < c.frames; ++i) input_.deliverFrame();
    const auto lostSoFar = [&] { return c.cause ? lost(device, *c.cause) : 0u; };
    ASSERT_TRUE(waitUntil([&] { return device.position().frames >= c.kept && lostSoFar() >= c.lost; },
                          [&] {
                            return "position " + std::to_string(device.position().frames) + ", lost " +
                                   std::to_string(lostSoFar());
                          }));
    device.stop();
    EXPECT_EQ(device.position().intact, c.intact);
    EXPECT_EQ(device.position().frames, c.kept);
    EXPECT_EQ(lostSoFar(), c.lost);
    EXPECT_EQ(std::filesystem::exists(path) ? fileFrames(path) : 0u, c.kept);
  }
}

TEST_F(Device, AFolderRemovedDuringATakeIsAFailedWriteWithItsReason) {
  const std::filesystem::path folder = dir_ / "gone";
  std::filesystem::create_directory(folder);
  const std::string path = (folder / "take.qvf").string();
  RecordDevice device(seams());
  ASSERT_TRUE(device.addFile(0, path.c_str()));
  device.start();
  input_.deliverFrame();
  input_.deliverFrame();
  ASSERT_TRUE(waitForFrames(device, 2));
  EXPECT_TRUE(device.position().intact) << "writes into the open file still succeed";
  std::filesystem::remove_all(folder);
  device.stop();
  EXPECT_EQ(lost(device, LostCause::FailedWrite), 1u);
  EXPECT_FALSE(device.position().intact);
  EXPECT_EQ(device.firstWriteError(), ENOENT);
}

TEST_F(Device, AFrameStillBeingWrittenWhenANewTakeStartsCountsForNeitherTake) {
  GateClock diskClock;  // holds the writer inside its transfer
  qvf::FaultyStorage storage(qvf::diskStorage(), diskClock);
  qvf::OpenFileRegistry registry(storage);
  RecordDevice device({input_, input_, 7, VideoMode{}, registry, storage, clock_, dropped_});
  const std::string path = dir_ / "take.qvf";
  ASSERT_TRUE(device.addFile(0, path.c_str()));
  device.start();
  storage.delayTransfers(1);
  diskClock.setOpen(false);
  input_.deliverFrame();
  ASSERT_TRUE(diskClock.waitUntilHeld()) << "the first frame's write never began";
  device.start();
  diskClock.setOpen(true);
  input_.deliverFrame();
  device.stop();
  EXPECT_EQ(device.position().frames, 1u);
  EXPECT_EQ(fileFrames(path), 1u) << "the new take's file starts anew";
}

TEST_F(Device, CloseWaitsForNoCallbackOnceTheProbeIsDetached) {
  // Counts what the closing thread sleeps; the capture thread sleeps as usual.
  struct CallerClock : GateClock {
    std::thread::id caller = std::this_thread::get_id();
    std::atomic<std::uint32_t> callerSlept{0};
    void sleepMilliseconds(std::uint32_t ms) override {
      if (std::this_thread::get_id() == caller) callerSlept += ms;
      GateClock::sleepMilliseconds(ms);
    }
  } clock;
  RecordDevice device({input_, input_, 7, VideoMode{}, registry_, qvf::diskStorage(), clock, dropped_});
  device.start();
  device.close();
  EXPECT_EQ(clock.callerSlept.load(), 0u) << "the board calls no callback after the probe is detached";
}

// The host's threads may race: one closes the device while another still
// stops its take. The stop must come back, with no capture thread left.
TEST_F(Device, AStopAfterTheCloseOnAnotherThreadReturns) {
  RecordDevice device(seams());
  const std::string path = dir_ / "take.qvf";
  ASSERT_TRUE(device.addFile(0, path.c_str()));
  device.start();
  input_.deliverFrame();
  ASSERT_TRUE(waitForFrames(device, 1));
  device.close();
  std::atomic<bool> stopped{false};
  std::thread host([&] {
    device.stop();
    stopped.store(true);
  });
  const bool returned = waitUntil([&] { return stopped.load(); }, [] { return "the stop still waits"; });
  if (!returned) {
    // The stop would wait for ever on a device about to be destroyed.
    ADD_FAILURE() << "a stop after the close waited for a take that nothing can end any more";
    std::fflush(nullptr);
    std::_Exit(1);
  }
  host.join();
  EXPECT_EQ(device.position().frames, 1u);
}

}  // namespace
}  // namespace corvane::record
