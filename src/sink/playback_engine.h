// The output device's engine: the frame pool, the board's output stream and
// the playback thread that puts each queued frame on air when it falls due.
//
// Playback is stopped until startPlayback(); presentation times count in
// microseconds from the latest start. The thread takes the head of the queue
// once it is due, converts it into a free output frame of the board, submits
// it and gives the buffer back. A late frame is never skipped: it goes out as
// soon as it reaches the head. A frame is lost only when the board has no
// free output frame in 15 attempts a millisecond apart.
//
// Pacing: while the head is not due the thread sleeps until it is, but never
// longer than 1 ms, so a frame queued for time 0 (or a new start) is seen
// within a millisecond. While nothing is queued or playback is stopped it
// polls every millisecond.
//
// Thread-safe: the host may call from any of its threads.
#pragma once

#include <atomic>
#include <cstdint>
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

 private:
  void run() override;
  // One step of the thread: outputs the due head, or says how long to wait.
  void playDueOrWait();
  void output(FrameBuffer& buffer);

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
};

}  // namespace corvane::sink
