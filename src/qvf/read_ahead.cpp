#include "qvf/read_ahead.h"

#include <span>
#include <utility>

#include "qvf/background_job.h"
#include "qvf/stream.h"

namespace corvane::qvf {

ReadAhead::ReadAhead(std::uint32_t firstChunkSize, std::uint32_t secondChunkSize)
    : spare_{platform::PageBuffer(firstChunkSize), platform::PageBuffer(secondChunkSize)} {}

void ReadAhead::start(BackgroundJob& job, QvfStream& stream, std::uint32_t n) {
  stream_ = &stream;
  frame_ = n;
  writesAtStart_ = stream.file().writeCount();
  pending_ = true;
  complete_ = false;
  job.start(&ReadAhead::run, this);
}

void ReadAhead::run(void* self) {
  auto* ahead = static_cast<ReadAhead*>(self);
  const VideoStreamContext& first = *ahead->stream_->video(0);
  const VideoStreamContext& second = *ahead->stream_->video(1);
  const std::uint64_t at = first.positionOf(ahead->frame_);
  // Only chunks that lie side by side: one request, as the frame reads make.
  const std::span<std::uint8_t> spares[2] = {{ahead->spare_[0].data(), first.chunkSize},
                                             {ahead->spare_[1].data(), second.chunkSize}};
  ahead->complete_ = second.positionOf(ahead->frame_) == at + first.chunkSize &&
                     ahead->stream_->file().readAhead(at, spares);
}

bool ReadAhead::take(QvfStream& stream, std::uint32_t n) {
  const bool usable = pending_ && complete_ && frame_ == n && stream_ == &stream &&
                      stream.file().writeCount() == writesAtStart_;
  pending_ = false;
  if (!usable) return false;
  std::swap(stream.video(0)->chunkBuffer, spare_[0]);
  std::swap(stream.video(1)->chunkBuffer, spare_[1]);
  return true;
}

}  // namespace corvane::qvf
