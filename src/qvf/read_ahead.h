// ReadAhead: while the host works on a converted frame, the next frame's two
// chunks are read on the stream's helper thread into a spare pair of chunk
// buffers. A host that reads frame after frame then finds each frame already
// in memory, and the disk's time per request is hidden behind the conversion.
//
// Owned by one QvfStream and used under its entry lock, except for the read
// itself, which runs on the helper with a positioned read that leaves the
// file pointer alone. Data read ahead is used only when no write reached the
// file since the read began.
#pragma once

#include <cstdint>

#include "platform/memory.h"

namespace corvane::qvf {

class BackgroundJob;
class QvfStream;

class ReadAhead {
 public:
  // Throws std::bad_alloc when the spare buffers cannot be had.
  ReadAhead(std::uint32_t firstChunkSize, std::uint32_t secondChunkSize);

  // Starts reading frame n of pair 0 on job, which must be idle.
  void start(BackgroundJob& job, QvfStream& stream, std::uint32_t n);

  // With the job idle: when frame n was read ahead in full and nothing was
  // written since, swaps its buffers into the contexts of pair 0 and gives
  // true. Either way the read-ahead data is used up.
  bool take(QvfStream& stream, std::uint32_t n);

 private:
  static void run(void* self);

  platform::PageBuffer spare_[2];
  QvfStream* stream_ = nullptr;  // set by start, for the helper
  std::uint32_t frame_ = 0;
  std::uint64_t writesAtStart_ = 0;
  bool pending_ = false;   // a read was started and not yet taken
  bool complete_ = false;  // written by the helper, read after the job's wait
};

}  // namespace corvane::qvf
