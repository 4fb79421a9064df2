// Fakes for driving the playback thread deterministically: a clock whose time
// moves only when someone sleeps, and a board that records every submitted
// frame. Both are thread-safe and allocate nothing once made.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/realtime_engine.h"
#include "platform/clock.h"
#include "support/fake_board.h"

namespace corvane::sink::testing {

class SteppingClock final : public platform::Clock {
 public:
  std::atomic<std::uint64_t> now{5'000'000};
  std::atomic<std::uint32_t> longestSleep{0};  // microseconds
  std::atomic<std::uint32_t> shortSleeps{0};   // below a millisecond

  std::uint64_t microseconds() override { return now.load(); }
  std::uint32_t tickCount() override { return static_cast<std::uint32_t>(now.load() / 1000); }
  void sleepMilliseconds(std::uint32_t ms) override { advance(ms * 1000); }
  void sleepMicroseconds(std::uint32_t us) override {
    if (us < 1000) ++shortSleeps;
    advance(us);
  }
  void sleepUntilMicroseconds(std::uint64_t deadline) override {
    ++deadlineSleeps;
    if (atDeadlineSleep) atDeadlineSleep(deadline);
    const std::uint64_t at = now.load();
    if (deadline > at) sleepMicroseconds(static_cast<std::uint32_t>(deadline - at));
  }
  std::atomic<std::uint32_t> deadlineSleeps{0};
  // Runs on the sleeping thread as a deadline sleep begins: what happens
  // "meanwhile". Set before the sleeper starts.
  std::function<void(std::uint64_t deadline)> atDeadlineSleep;

 private:
  void advance(std::uint32_t us) {
    std::uint32_t longest = longestSleep.load();
    while (us > longest && !longestSleep.compare_exchange_weak(longest, us)) {
    }
    now += us;
    std::this_thread::yield();
  }
};

// The output entries only; the rest are the plain fake board's.
class RecordingBoard final : public corvane::testing::FakeBoard {
  using Handle = engine::Handle;

 public:
  struct Submission {
    std::uint64_t time;
    std::uint8_t firstByte;
  };
  // An AcquireOutputFrame call: when, and whether it gave a frame.
  struct Attempt {
    std::uint64_t time;
    bool given;
  };
  static constexpr std::size_t kFrameBytes = 720 * 576 * 2;

  RecordingBoard(platform::Clock& clock, std::size_t capacity) : clock_(clock), frame_(kFrameBytes) {
    submissions_.reserve(capacity);
    attempts_.reserve(capacity);
    outputCalls_.reserve(capacity);
  }

  std::vector<Attempt> attempts() {
    std::lock_guard guard(lock_);
    return attempts_;
  }
  // 'A' per AcquireOutputFrame that gave a frame, 'a' per refusal, 'S' per submit.
  std::string outputCalls() {
    std::lock_guard guard(lock_);
    return std::string(outputCalls_.begin(), outputCalls_.end());
  }
  // The first byte of the board's frame now; for the playback thread itself.
  std::uint8_t frameByte() const { return frame_[0]; }

  std::vector<Submission> submissions() {
    std::lock_guard guard(lock_);
    return submissions_;
  }
  std::size_t submitted() {
    std::lock_guard guard(lock_);
    return submissions_.size();
  }

  Handle OpenOutputStream(const char*, std::int32_t, std::int32_t, std::int32_t is625) override {
    opened625 = is625;
    return 7;
  }
  Handle AcquireOutputFrame(Handle stream, void** data, std::uint32_t* cookie) override {
    const bool given = stream == 7 && !refuse.load();
    {
      std::lock_guard guard(lock_);
      if (attempts_.size() < attempts_.capacity()) attempts_.push_back({clock_.microseconds(), given});
      if (outputCalls_.size() < outputCalls_.capacity()) outputCalls_.push_back(given ? 'A' : 'a');
    }
    if (!given) return 0;
    *data = withoutData.load() ? nullptr : frame_.data();
    *cookie = 3;
    return 1;
  }
  void SubmitOutputFrame(Handle, Handle, std::uint32_t) override {
    std::lock_guard guard(lock_);
    if (submissions_.size() < submissions_.capacity())
      submissions_.push_back({clock_.microseconds(), frame_[0]});
    if (outputCalls_.size() < outputCalls_.capacity()) outputCalls_.push_back('S');
  }
  void CloseOutputStream(Handle) override { closed = true; }

  std::atomic<std::int32_t> opened625{-1};
  // Frames come with no pixel area.
  std::atomic<bool> withoutData{false};
  // No free frame, ever.
  std::atomic<bool> refuse{false};
  std::atomic<bool> closed{false};

 private:
  platform::Clock& clock_;
  std::mutex lock_;
  std::vector<Submission> submissions_;  // guarded by lock_
  std::vector<Attempt> attempts_;        // guarded by lock_
  std::vector<char> outputCalls_;        // guarded by lock_
  std::vector<std::uint8_t> frame_;      // written by the playback thread only
};

}  // namespace corvane::sink::testing
