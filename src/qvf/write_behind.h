// WriteBehind: a frame converted into the chunk buffers of pair 0 is written
// on the stream's helper thread while the caller goes on; the host's next
// frame is converted meanwhile, so a writer waits for the disk or for the
// conversion, whichever is slower, not for both. The converted chunks swap
// with a spare pair before the write starts: the next frame always has free
// buffers to be converted into, and the host's buffer is never held.
//
// Owned by one QvfStream and used under its entry lock, except for the write
// itself, which runs on the helper. The stream settles the helper before any
// other use of its file, so the write keeps the file to itself while it runs,
// and collects the write's result then (see QvfStream::takeWriteFailure).
#pragma once

#include <cstdint>

#include "platform/memory.h"

namespace corvane::qvf {

class BackgroundJob;
class QvfStream;

class WriteBehind {
 public:
  // Throws std::bad_alloc when the spare buffers cannot be had.
  WriteBehind(std::uint32_t firstChunkSize, std::uint32_t secondChunkSize);

  // With job idle: swaps the chunk buffers of pair 0, which hold frame n,
  // with the spare pair and starts writing them to frame n's blocks.
  void start(BackgroundJob& job, QvfStream& stream, std::uint32_t n);

  // With the job idle: false when the write last started failed. Either way
  // that result is used up: the next call gives true until another start.
  bool finish();
  // A write was started and finish has not collected it.
  bool pending() const { return pending_; }

 private:
  static void run(void* self);

  platform::PageBuffer spare_[2];
  QvfStream* stream_ = nullptr;  // set by start, for the helper
  std::uint32_t frame_ = 0;
  bool pending_ = false;  // a write was started and its result not yet collected
  bool written_ = false;  // written by the helper, read after the job's wait
};

}  // namespace corvane::qvf
