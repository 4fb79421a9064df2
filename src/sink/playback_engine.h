// The output device's engine: the frame pool, the board's output stream and
// the playback thread that puts each queued frame on air when it falls due.
//
// Playback is stopped until startPlayback(); presentation times count in
// microseconds from the latest start. The thread converts the head of the
// queue into a free output frame of the board, submits it once it is due and
// gives the buffer back. A late frame is never skipped: it goes out as
// soon as it reaches the head. A frame is lost only when the board has no
// free output frame in 15 attempts a millisecond apart.
//
// Pacing: while nothing is queued or playback is stopped the thread polls
// every millisecond; no sleep is longer, so a frame queued for time 0 (or a
// new start) is seen within a millisecond. Once the head falls due within
// the next poll the thread takes a board frame, converts the head into it
// and sleeps to the due time as an absolute deadline: only the submit waits
// for it. The early attempt at a board frame is the first of the 15; a
// refused one is followed by the same 1 ms sleep as every other.
//
// A board frame, once taken, is always submitted with the next frame that
// goes out: the board has no other way to get it back. One still held when
// the engine ends goes with the stream's close.
//
// Thread-safe: the host may call from any of its threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>

#include "engine/realtime_engine.h"
#include "platform/clock.h"
#include "sink/frame_pool.h"
#include "sink/worker_thread.h"

namespace corvane::sink {

struct PlaybackSeams {
  engine::RealtimeEngine& board;
  platform::Clock& clock;
  // Where the buffers the host still holds go when the engine ends.
  KeptBuffers* keeper = nullptr;
  // Told, on the playback thread, of every frame dropped for want of a board
  // frame. Must not block.
  std::function<void()> frameDropped = {};
};

class PlaybackEngine final : public WorkerThread {
 public:
  static constexpr std::uint32_t kBufferCount = 20;
  static constexpr std::uint32_t kAcquireAttempts = 15;

  // Makes the pool (EngineError "Not enough memory"), opens the output
  // stream named streamName and starts the playback thread. The seams must
  // outlive this.
  PlaybackEngine(PlaybackSeams seams, std::uint32_t bufferCount, bool is525, const char* streamName);
  // Waits 500 ms for the board to take the last frame (unless skipped), ends
  // the thread, closes the stream. Frames still queued are not shown.
  ~PlaybackEngine() override;

  // The plug-in is unloading: nothing will show the last frame, so the end
  // does not wait for it.
  void skipTeardownPause() { skipPause_.store(true, std::memory_order_relaxed); }

  std::uint32_t lines() const { return lines_; }
  FramePool& pool() { return pool_; }

  std::uint8_t* takeEmptyBuffer() { return pool_.takeEmpty(seams_.clock); }
  void waitUntilDrained() { pool_.waitUntilDrained(seams_.clock); }

  void startPlayback() { pool_.setStartTime(nowMicroseconds()); }
  void stopPlayback() { pool_.setStartTime(FramePool::kStopped); }

  // Microseconds since the first reading.
  std::int64_t nowMicroseconds();

  // Frames dropped because the board had no free frame in 15 attempts.
  std::uint32_t droppedFrames() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  // A frame of the board, acquired and not yet submitted.
  struct BoardFrame {
    engine::Handle token = 0;
    void* data = nullptr;
    std::uint32_t cookie = 0;
  };

  void run() override;
  std::int64_t sinceOrigin(std::uint64_t reading);
  // One step of the thread: a sleep while the head is not near, else the
  // head prepared, put on air at its time, or dropped.
  void playDueOrWait();
  // One attempt at a board frame for the head of that serial; a refused
  // attempt sleeps 1 ms.
  bool acquireBoardFrame(std::uint64_t serial);
  void convertInto(const FrameBuffer& buffer);
  void dropHead(std::uint64_t serial);
  void submitHead(std::uint64_t serial, std::uint64_t deadline);

  PlaybackSeams seams_;
  const std::uint32_t lines_;
  // Made before the stream is opened: a pool that cannot be made leaves no
  // stream behind.
  FramePool pool_;
  const engine::Handle stream_;
  std::atomic<std::uint64_t> origin_{0};
  // Relaxed is enough: the stop only ends the loop, the join orders the rest.
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> skipPause_{false};
  std::atomic<std::uint32_t> dropped_{0};

  // The playback thread's own.
  BoardFrame held_;
  std::uint64_t preparedSerial_ = 0;  // the frame converted into held_
  std::uint64_t attemptsFor_ = 0;     // the frame the refused attempts were for
  std::uint32_t attempts_ = 0;
};

}  // namespace corvane::sink
