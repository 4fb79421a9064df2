// The playback thread against a board that records what it is given, paced
// by a clock that moves only when a thread sleeps: how long it waits for a
// frame, what a start and a stop do, and that nothing is allocated.
#include "sink/playback_engine.h"

#include <gtest/gtest.h>

#include <memory>

#include "engine/error.h"
#include "support/allocation_counter.h"
#include "support/fake_programs.h"
#include "support/playback_fakes.h"

namespace corvane::sink {
namespace {

using testing::RecordingBoard;
using testing::SteppingClock;

class Playback : public ::testing::Test {
 protected:
  void make(bool is525 = true) {
    engine_ = std::make_unique<PlaybackEngine>(PlaybackSeams{board_, clock_}, PlaybackEngine::kBufferCount,
                                               is525, "media.apps.Veltrix");
  }
  std::uint8_t* queue(std::uint8_t value, std::int64_t time, SourceLayout layout = SourceLayout::Yuv422) {
    std::uint8_t* buffer = engine_->takeEmptyBuffer();
    buffer[0] = value;
    engine_->pool().queue(buffer, layout, time);
    return buffer;
  }
  bool submittedAtLeast(std::size_t n) {
    return corvane::testing::eventually([&] { return board_.submitted() >= n; });
  }

  SteppingClock clock_;
  RecordingBoard board_{clock_, 256};
  std::unique_ptr<PlaybackEngine> engine_;
};

TEST_F(Playback, AFrameIsDueOnceItsTimeHasPassedSinceTheStartAndNotBefore) {
  make();
  EXPECT_EQ(board_.opened625, 0);
  queue(1, 40500);  // off the millisecond grid: the last wait must be shortened
  queue(2, 0);      // behind the first: the queue keeps arrival order
  // The idle thread moves the clock too: the start reading lies between these.
  const std::uint64_t before = clock_.now;
  engine_->startPlayback();
  const std::uint64_t after = clock_.now;
  ASSERT_TRUE(submittedAtLeast(2));
  const auto shown = board_.submissions();
  EXPECT_GE(shown[0].time, before + 40500);
  EXPECT_LT(shown[0].time, after + 40500 + 1000) << "no overshoot of a tick";
  EXPECT_EQ(shown[0].firstByte, 1);
  EXPECT_EQ(shown[1].firstByte, 2);
  EXPECT_GT(clock_.shortSleeps, 0u);
  EXPECT_LE(clock_.longestSleep, 1000u) << "never deaf to a new frame for longer than a millisecond";
}

TEST_F(Playback, NothingGoesOutWhileStoppedAndEachStartRestartsTheClock) {
  make(false);
  EXPECT_EQ(board_.opened625, 1);
  queue(1, 0);
  const std::uint64_t stoppedFrom = clock_.now;
  ASSERT_TRUE(corvane::testing::eventually([&] { return clock_.now > stoppedFrom + 100000; }));
  EXPECT_EQ(board_.submitted(), 0u);
  engine_->startPlayback();
  ASSERT_TRUE(submittedAtLeast(1));
  engine_->stopPlayback();
  queue(2, 30000);
  const std::uint64_t waitFrom = clock_.now;
  ASSERT_TRUE(corvane::testing::eventually([&] { return clock_.now > waitFrom + 100000; }));
  EXPECT_EQ(board_.submitted(), 1u) << "stopped again: its time counts from the next start";
  const std::uint64_t restart = clock_.now;
  engine_->startPlayback();
  ASSERT_TRUE(submittedAtLeast(2));
  EXPECT_GE(board_.submissions()[1].time, restart + 30000);
}

TEST_F(Playback, EndingTheEngineEndsItsThreadAndClosesTheStream) {
  make();
  queue(1, 0);
  engine_->startPlayback();
  ASSERT_TRUE(submittedAtLeast(1));
  engine_.reset();
  EXPECT_TRUE(board_.closed);
}

TEST_F(Playback, PlayingAllocatesNothingPerFrame) {
  make();
  engine_->startPlayback();
  queue(0, 0);
  ASSERT_TRUE(submittedAtLeast(1));
  const std::size_t before = corvane::testing::allocationCount();
  for (std::uint8_t i = 1; i <= 60; ++i) {
    const auto layout = static_cast<SourceLayout>(i % 3);
    queue(i, 1000 * i, layout);
  }
  const bool done = submittedAtLeast(61);
  const std::size_t after = corvane::testing::allocationCount();
  ASSERT_TRUE(done);
  EXPECT_EQ(after, before);
}

// Faults of the engine's own resources: a pool that cannot be made leaves no
// output stream open, and a board frame without a pixel area still goes back
// to the board.
TEST_F(Playback, APoolThatCannotBeMadeLeavesNoStreamOpen) {
  EXPECT_THROW(
      PlaybackEngine(PlaybackSeams{board_, clock_}, FramePool::kMaxBuffers + 1, true, "media.apps.Veltrix"),
      EngineError);
  EXPECT_TRUE(board_.opened625 == -1 || board_.closed) << "the output stream was left open";
}

TEST_F(Playback, ABoardFrameWithNoPixelAreaIsGivenBack) {
  board_.withoutData = true;
  make();
  queue(1, 0);
  engine_->startPlayback();
  EXPECT_TRUE(submittedAtLeast(1)) << "the frame stayed with the plug-in";
}

}  // namespace
}  // namespace corvane::sink
