// The playback thread against a board that records what it is given, paced
// by a clock that moves only when a thread sleeps: how long it waits for a
// frame, what a start and a stop do, and that nothing is allocated.
#include "sink/playback_engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <memory>
#include <string>

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
    engine_ =
        std::make_unique<PlaybackEngine>(PlaybackSeams{board_, clock_, nullptr, [this] { ++reported_; }},
                                         PlaybackEngine::kBufferCount, is525, "media.apps.Veltrix");
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
  // Stops playback as the first deadline sleep begins, while the frame is
  // prepared. Only the playback thread runs the hook; stopped_ goes up after
  // its last use of engine_, which the test may then end.
  void stopAtTheFirstDeadline() {
    clock_.atDeadlineSleep = [this](std::uint64_t) {
      if (stopped_.load()) return;
      engine_->stopPlayback();
      stopped_ = true;
    };
  }

  SteppingClock clock_;
  RecordingBoard board_{clock_, 256};
  std::atomic<std::uint32_t> reported_{0};  // drops the engine reported
  std::atomic<bool> stopped_{false};
  // Last: its thread ends before anything it uses goes.
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

// How one frame goes out, by when it is due and what the board does: the
// board frame is taken and filled within a poll ahead of the due time and
// submitted at it; a frame already late goes out at once; a board with no
// free frame costs 15 attempts a millisecond apart, the early one the first,
// and the frame is dropped, counted and reported.
struct PacingCase {
  const char* name;
  std::int64_t time;         // the frame's presentation time
  std::int64_t queuedAfter;  // how long after the start it is queued (0: before)
  bool refuse;               // the board has no free frame
};

void PrintTo(const PacingCase& c, std::ostream* os) { *os << c.name; }

const PacingCase kPacingCases[] = {
    {"ahead, off the millisecond grid", 40'500, 0, false},
    {"ahead, on the grid", 66'000, 0, false},
    {"already late when queued", 10'000, 50'000, false},
    {"refused by the board", 40'500, 0, true},
};

class Pacing : public Playback, public ::testing::WithParamInterface<PacingCase> {};

TEST_P(Pacing, OneFrameGoesOutAtItsTimeOrIsDroppedAfter15Attempts) {
  const PacingCase& c = GetParam();
  board_.refuse = c.refuse;
  std::atomic<int> byteAtDeadline{-1};
  clock_.atDeadlineSleep = [&](std::uint64_t) {
    if (byteAtDeadline.load() < 0) byteAtDeadline = board_.frameByte();
  };
  make();
  if (c.queuedAfter == 0) queue(9, c.time);
  const std::uint64_t before = clock_.now;
  engine_->startPlayback();
  const std::uint64_t after = clock_.now;
  if (c.queuedAfter != 0) {
    ASSERT_TRUE(corvane::testing::eventually([&] { return clock_.now > after + c.queuedAfter; }));
    queue(9, c.time);
  }
  // The due time, on the clock, lies between these.
  const std::uint64_t dueFrom = before + static_cast<std::uint64_t>(c.time);
  const std::uint64_t dueTo = after + static_cast<std::uint64_t>(c.time);

  if (c.refuse) {
    ASSERT_TRUE(corvane::testing::eventually([&] { return engine_->droppedFrames() == 1; }))
        << board_.attempts().size() << " attempts so far";
    ASSERT_TRUE(corvane::testing::eventually([&] { return reported_ == 1; }));
    const auto attempts = board_.attempts();
    ASSERT_EQ(attempts.size(), PlaybackEngine::kAcquireAttempts);
    EXPECT_GE(attempts[0].time + 1000, dueFrom) << "the first attempt more than a poll early";
    EXPECT_LT(attempts[0].time, dueTo) << "no attempt ahead of the due time";
    for (std::size_t i = 1; i < attempts.size(); ++i)
      EXPECT_EQ(attempts[i].time - attempts[i - 1].time, 1000u) << i;
    EXPECT_EQ(board_.submitted(), 0u);
    EXPECT_TRUE(engine_->pool().queueEmpty()) << "the dropped frame is not back";
    return;
  }
  ASSERT_TRUE(submittedAtLeast(1));
  const RecordingBoard::Submission shown = board_.submissions()[0];
  EXPECT_EQ(shown.firstByte, 9);
  EXPECT_EQ(board_.outputCalls(), "AS");
  EXPECT_EQ(engine_->droppedFrames(), 0u);
  EXPECT_LE(clock_.longestSleep, 1000u) << "deaf to the queue for longer than a poll";
  const auto attempts = board_.attempts();
  if (c.queuedAfter != 0) {
    EXPECT_GT(attempts[0].time, dueTo);
    EXPECT_EQ(shown.time, attempts[0].time) << "a late frame waited for something";
    return;
  }
  EXPECT_GE(shown.time, dueFrom) << "submitted before it was due";
  EXPECT_LE(shown.time, dueTo) << "submitted after the deadline";
  EXPECT_GE(attempts[0].time + 1000, dueFrom) << "the board frame taken more than a poll ahead";
  EXPECT_EQ(byteAtDeadline, 9) << "the frame was not converted before the wait for its time";
}

INSTANTIATE_TEST_SUITE_P(Cases, Pacing, ::testing::ValuesIn(kPacingCases),
                         [](const ::testing::TestParamInfo<PacingCase>& info) {
                           std::string name;
                           for (const char* p = info.param.name; *p != 0; ++p) {
                             if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
                           }
                           return name;
                         });

// A stop that comes while the prepared frame waits for its time: the frame
// stays queued and the board frame held, and after the next start the same
// board frame carries it, at its time counted from that start.
TEST_F(Playback, AStopWhileAFrameIsPreparedKeepsItForTheNextStart) {
  stopAtTheFirstDeadline();
  make();
  queue(4, 20'000);
  engine_->startPlayback();
  ASSERT_TRUE(corvane::testing::eventually([&] { return stopped_.load(); }));
  const std::uint64_t stoppedAt = clock_.now;
  ASSERT_TRUE(corvane::testing::eventually([&] { return clock_.now > stoppedAt + 100'000; }));
  EXPECT_EQ(board_.submitted(), 0u) << "a frame went out while stopped";
  const std::uint64_t restart = clock_.now;
  engine_->startPlayback();
  ASSERT_TRUE(submittedAtLeast(1));
  EXPECT_GE(board_.submissions()[0].time, restart + 20'000);
  EXPECT_EQ(board_.submissions()[0].firstByte, 4);
  EXPECT_EQ(board_.outputCalls(), "AS") << "one board frame per frame, taken once";
}

// A frame for time 0 (the device flushes what waits and queues it) while
// another is prepared: the new one goes out in the board frame already
// taken, the flushed one not at all.
TEST_F(Playback, AFrameForTimeZeroReplacesThePreparedOne) {
  std::atomic<bool> replaced{false};
  clock_.atDeadlineSleep = [&](std::uint64_t) {
    if (replaced.load()) return;
    engine_->pool().flush();
    queue(6, 0);
    replaced = true;
  };
  make();
  queue(5, 30'000);
  engine_->startPlayback();
  ASSERT_TRUE(submittedAtLeast(1));
  const std::uint64_t shownAt = clock_.now;
  ASSERT_TRUE(corvane::testing::eventually([&] { return clock_.now > shownAt + 100'000; }));
  ASSERT_EQ(board_.submitted(), 1u);
  EXPECT_EQ(board_.submissions()[0].firstByte, 6) << "the flushed frame's picture went out";
  EXPECT_EQ(board_.outputCalls(), "AS");
  EXPECT_EQ(engine_->droppedFrames(), 0u) << "a flushed frame is not a drop";
}

// Frames still queued when the engine ends are not shown, a prepared one
// included; its board frame goes with the stream.
TEST_F(Playback, EndingTheEngineWithAPreparedFrameShowsNothing) {
  stopAtTheFirstDeadline();
  make();
  queue(7, 10'000);
  engine_->startPlayback();
  ASSERT_TRUE(corvane::testing::eventually([&] { return stopped_.load(); }));
  engine_.reset();
  EXPECT_TRUE(board_.closed);
  EXPECT_EQ(board_.submitted(), 0u);
  EXPECT_EQ(board_.outputCalls(), "A");
}

// Each refused frame is counted: two frames, two drops, 30 attempts.
TEST_F(Playback, EveryFrameTheBoardRefusesIsCounted) {
  board_.refuse = true;
  make();
  queue(1, 0);
  queue(2, 0);
  engine_->startPlayback();
  ASSERT_TRUE(corvane::testing::eventually([&] { return engine_->droppedFrames() == 2 && reported_ == 2; }))
      << engine_->droppedFrames() << " dropped, " << reported_ << " reported";
  EXPECT_EQ(board_.attempts().size(), 2 * PlaybackEngine::kAcquireAttempts);
  EXPECT_EQ(board_.submitted(), 0u);
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
