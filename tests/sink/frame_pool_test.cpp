// The pool's two lists: which buffer the host gets next, what a flush puts
// back and where, and which addresses are not the pool's to take.
#include "sink/frame_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "engine/error.h"
#include "support/fake_clock.h"

namespace corvane::sink {
namespace {

TEST(FramePool, MadeWithRoomForAFrameInAnyLayout) {
  FramePool pal(20, 720, 576);
  EXPECT_EQ(pal.bufferBytes(), 1659392u);
  EXPECT_EQ(FramePool(1, 722, 480).bufferBytes(), 724u * 480 * 4 + 512) << "width rounded up to 4";
}

TEST(FramePool, FlushedBuffersComeBackBelowTheFreeOnesInQueueOrder) {
  testing::FakeClock clock;
  FramePool pool(5, 720, 2);
  std::vector<std::uint8_t*> taken;
  for (int i = 0; i < 5; ++i) taken.push_back(pool.takeEmpty(clock));
  pool.release(taken[0]);
  pool.release(taken[1]);
  pool.queue(taken[2], SourceLayout::Yuv422, 10);
  pool.queue(taken[3], SourceLayout::Yuv422, 20);
  pool.flush();
  EXPECT_TRUE(pool.queueEmpty());
  const std::vector<std::uint8_t*> next{pool.takeEmpty(clock), pool.takeEmpty(clock), pool.takeEmpty(clock),
                                        pool.takeEmpty(clock)};
  EXPECT_EQ(next, (std::vector<std::uint8_t*>{taken[1], taken[0], taken[2], taken[3]}));
  EXPECT_TRUE(clock.sleeps.empty());
}

TEST(FramePool, TakesOnlyBuffersTheHostHolds) {
  testing::FakeClock clock;
  FramePool pool(2, 720, 2);
  std::uint8_t* a = pool.takeEmpty(clock);
  std::uint8_t stranger[16];
  pool.queue(stranger, SourceLayout::Yuv422, 0);
  pool.release(stranger);
  pool.queue(a + 1, SourceLayout::Yuv422, 0);
  EXPECT_TRUE(pool.queueEmpty()) << "an address inside a buffer is not the buffer";
  EXPECT_TRUE(pool.heldBuffer(stranger).empty());
  EXPECT_EQ(pool.heldBuffer(a).size(), pool.bufferBytes());

  pool.queue(a, SourceLayout::Rgba32, 5);
  pool.queue(a, SourceLayout::Rgba32, 5);  // twice would link it into a loop
  pool.release(a);                         // and it is not the host's to give back now
  EXPECT_TRUE(pool.heldBuffer(a).empty());
  std::int64_t wait = 0;
  EXPECT_EQ(pool.takeDue(1000, &wait), nullptr) << "stopped: nothing is due";
  pool.setStartTime(995);
  EXPECT_EQ(pool.takeDue(999, &wait), nullptr);
  EXPECT_EQ(wait, 1);
  FrameBuffer* due = pool.takeDue(1000, &wait);
  ASSERT_NE(due, nullptr);
  EXPECT_EQ(due->layout, SourceLayout::Rgba32);
  EXPECT_EQ(pool.takeDue(5000, &wait), nullptr) << "it was queued once";
  pool.giveBack(*due);
  EXPECT_NE(pool.takeEmpty(clock), nullptr);
  EXPECT_NE(pool.takeEmpty(clock), nullptr);
}

TEST(FramePool, DrainedOnlyOnceTheFrameInOutputIsBack) {
  testing::FakeClock clock;
  FramePool pool(1, 720, 2);
  pool.queue(pool.takeEmpty(clock), SourceLayout::Yuv422, 0);
  std::int64_t wait = 0;
  pool.setStartTime(0);
  FrameBuffer* out = pool.takeDue(0, &wait);
  ASSERT_NE(out, nullptr);
  struct GivesBackOnSecondSleep : testing::FakeClock {
    FramePool* pool;
    FrameBuffer* buffer;
    void sleepMilliseconds(std::uint32_t ms) override {
      FakeClock::sleepMilliseconds(ms);
      if (sleeps.size() == 2) pool->giveBack(*buffer);
    }
  } waiting;
  waiting.pool = &pool;
  waiting.buffer = out;
  pool.waitUntilDrained(waiting);
  EXPECT_EQ(waiting.sleeps, (std::vector<std::uint32_t>{1, 1})) << "the queue was empty all along";
}

// A buffer the host still holds when the pool ends is on neither list: it
// stays valid (the host may be writing its last frame) until the keeper ends.
TEST(FramePool, BuffersTheHostHoldsOutliveThePoolWithTheKeeper) {
  testing::FakeClock clock;
  KeptBuffers keeper;
  std::uint8_t* held = nullptr;
  std::size_t bytes = 0;
  {
    FramePool pool(3, 720, 2, &keeper);
    held = pool.takeEmpty(clock);
    pool.queue(pool.takeEmpty(clock), SourceLayout::Yuv422, 0);
    bytes = pool.bufferBytes();
  }
  EXPECT_EQ(keeper.count(), 1u) << "only the held buffer is kept";
  std::fill(held, held + bytes, std::uint8_t{0x5A});
  EXPECT_EQ(held[bytes - 1], 0x5A);
}

}  // namespace
}  // namespace corvane::sink
