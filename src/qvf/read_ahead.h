// ReadAhead: while the host works on a frame, the next frames' chunks are
// read on the stream's helper thread into spare pairs of chunk buffers, two
// frames ahead. A host that reads frame after frame then finds each frame
// already in memory, or on its way; the helper goes from one read to the next
// by itself, so the disk does not wait for the host's call nor for a thread
// to wake between two frames.
//
// Owned by one QvfStream and used under its entry lock, except for the reads
// themselves, which run on the helper with positioned reads that leave the
// file pointer alone. A frame read ahead is used only when no write reached
// the file since it was asked for; a write always lets the reads end first.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "platform/memory.h"

namespace corvane::qvf {

class BackgroundJob;
class QvfStream;

class ReadAhead {
 public:
  static constexpr std::uint32_t kDepth = 2;

  // Throws std::bad_alloc when the spare buffers cannot be had.
  ReadAhead(std::uint32_t firstChunkSize, std::uint32_t secondChunkSize);

  // With no write behind running. When frame n is read ahead or being read:
  // waits for its read and, when it succeeded and nothing was written since
  // it was asked for, swaps its buffers into the contexts of pair 0 and gives
  // true. False at once when frame n was not asked for. Either way frame n's
  // spare pair is free afterwards.
  bool take(QvfStream& stream, std::uint32_t n);
  // Asks for the kDepth frames after n (those below the file's frame count)
  // that are not asked for yet, and starts job when it does not run them
  // already. job runs nothing else meanwhile.
  void request(BackgroundJob& job, QvfStream& stream, std::uint32_t n);
  // With the job idle: forgets every frame asked for or read.
  void discard();

 private:
  enum class State : std::uint8_t { Free, Wanted, Reading, Read, Failed };
  struct Slot {
    platform::PageBuffer chunks[2];
    std::uint32_t frame = 0;
    std::uint64_t writesWhenAsked = 0;
    State state = State::Free;  // guarded by lock_
  };

  static void run(void* self);
  Slot* slotOf(std::uint32_t n);  // lock_ held

  Slot slots_[kDepth];
  QvfStream* stream_ = nullptr;  // set by request, for the helper
  std::mutex lock_;
  std::condition_variable read_;  // a slot's read ended
  bool running_ = false;          // guarded by lock_: the job is in run
};

}  // namespace corvane::qvf
