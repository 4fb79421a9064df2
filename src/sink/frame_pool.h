// The output device's pool of frame buffers: the host takes a free buffer,
// fills it and queues it with a presentation time; the playback thread takes
// the head of the queue once it is due and gives the buffer back. All memory
// is taken when the pool is made; no operation allocates.
//
// Free buffers form a stack (the last one given back is taken first); queued
// buffers a queue in arrival order, never sorted by time. One lock guards both
// lists and every link. Waits poll every millisecond with no lock held.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "platform/clock.h"
#include "platform/memory.h"
#include "platform/pi_mutex.h"

namespace corvane::sink {

// What a queued buffer holds.
enum class SourceLayout : std::uint8_t {
  Yuv422,  // the board's own frame: field 0 lines, then field 1 lines
  Yuv444,  // top row first, Y Cb Cr and a fourth byte per pixel
  Rgba32,  // bottom row first, B G R A
};

struct FrameBuffer {
  platform::PageBuffer pixels;
  SourceLayout layout = SourceLayout::Yuv422;  // set when queued
  std::int64_t presentationTime = 0;           // microseconds after the start; set when queued
  // Which queueing this is, never 0: the same buffer queued again is another
  // frame, so a conversion made of the one is not the other's.
  std::uint64_t serial = 0;
  FrameBuffer* next = nullptr;  // on the list that holds it
  // Out with the host: the only state in which a queue or release is taken,
  // so a buffer handed back twice cannot sit on two lists.
  bool held = false;
};

// Buffers the host still held when their pool ended. They are on neither of
// the pool's lists, and a host may still write its last frame into one, so
// they stay valid until this ends (at unload). Thread-safe.
class KeptBuffers {
 public:
  // Room for a pool of count buffers, made with the pool (throws
  // std::bad_alloc), so that keeping them at its end cannot fail.
  void reserve(std::size_t count);
  // Takes what a pool of count buffers left with the host.
  void keep(std::span<platform::PageBuffer*> held, std::size_t count) noexcept;
  std::size_t count();

 private:
  std::mutex lock_;
  std::vector<platform::PageBuffer> buffers_;  // guarded by lock_
  std::size_t reserved_ = 0;                   // for pools still alive; guarded by lock_
};

class FramePool {
 public:
  // Spare bytes behind every frame, so a host that writes a little past its
  // frame stays in the buffer.
  static constexpr std::size_t kSpareBytes = 512;
  static constexpr std::uint32_t kMaxBuffers = 64;

  // count buffers of width x height x 4 bytes (plus the spare). Throws
  // EngineError("Not enough memory") when the system refuses one. Buffers
  // the host still holds when the pool ends go to keeper (freed, without one).
  FramePool(std::uint32_t count, std::uint32_t width, std::uint32_t height, KeptBuffers* keeper = nullptr);
  ~FramePool();
  FramePool(const FramePool&) = delete;
  FramePool& operator=(const FramePool&) = delete;

  std::size_t bufferBytes() const { return bufferBytes_; }

  // The top of the free stack; waits, without limit, while none is free.
  std::uint8_t* takeEmpty(platform::Clock& clock);
  // Appends the buffer whose pixels start at address; addresses of no buffer
  // the host holds are ignored.
  void queue(const std::uint8_t* address, SourceLayout layout, std::int64_t presentationTime);
  // Gives a buffer the host holds back to the free stack; as queue, other
  // addresses are ignored.
  void release(const std::uint8_t* address);
  // Every queued buffer goes back unshown, below the free ones, in queue order.
  void flush();
  // Returns once the queue is empty and the last frame taken from it is
  // back; no time limit.
  void waitUntilDrained(platform::Clock& clock);
  bool queueEmpty();
  // The whole buffer whose pixels start at address while the host holds it;
  // empty for any other address.
  std::span<std::uint8_t> heldBuffer(const std::uint8_t* address);

  // The start of playback, in the caller's microseconds; kStopped stops it.
  // Held under the same lock as the queue, so once a stop returns no frame
  // queued after it goes out before the next start.
  static constexpr std::int64_t kStopped = -1;
  void setStartTime(std::int64_t start);

  // The playback thread's side.
  //
  // The head of the queue while playback is started: its serial and the wait
  // until it falls due at now (microseconds on the start's clock; <= 0: due).
  // Serial 0 when the queue is empty or playback is stopped.
  struct Head {
    std::uint64_t serial = 0;
    std::int64_t untilDue = 0;
  };
  Head head(std::int64_t now);
  // Runs prepare(const FrameBuffer&) on the head, under the lock, while it is
  // still the head of that serial: nobody can flush it to the free stack and
  // hand it to the host meanwhile. False (prepare not run) otherwise.
  template <typename Prepare>
  bool prepareHead(std::uint64_t serial, Prepare&& prepare);
  // The head of the queue if playback is started, it is due at now, and it
  // is of that serial (any, for 0); otherwise null, and *untilDue is the wait
  // until it falls due (left alone when stopped or the queue is empty). A
  // buffer taken counts as queued until giveBack.
  FrameBuffer* takeDue(std::int64_t now, std::int64_t* untilDue, std::uint64_t serial = 0);
  void giveBack(FrameBuffer& buffer);

 private:
  FrameBuffer* find(const std::uint8_t* address);
  void push(FrameBuffer& buffer);  // requires lock_

  std::size_t bufferBytes_;
  KeptBuffers* const keeper_;
  std::vector<FrameBuffer> table_;  // in the order made; never resized after construction
  // The playback thread takes it too: a host thread holding it inherits that
  // thread's priority.
  platform::PriorityInheritanceMutex lock_;
  FrameBuffer* emptyTop_ = nullptr;    // guarded by lock_
  FrameBuffer* queueHead_ = nullptr;   // guarded by lock_
  std::uint32_t inOutput_ = 0;         // taken by takeDue, not yet given back; guarded by lock_
  std::int64_t startTime_ = kStopped;  // guarded by lock_
  std::uint64_t lastSerial_ = 0;       // guarded by lock_
};

template <typename Prepare>
bool FramePool::prepareHead(std::uint64_t serial, Prepare&& prepare) {
  std::lock_guard guard(lock_);
  if (serial == 0 || queueHead_ == nullptr || queueHead_->serial != serial) return false;
  prepare(static_cast<const FrameBuffer&>(*queueHead_));
  return true;
}

}  // namespace corvane::sink
