#include "qvf/write_behind.h"

#include <span>
#include <utility>

#include "qvf/background_job.h"
#include "qvf/stream.h"

namespace corvane::qvf {

WriteBehind::WriteBehind(std::uint32_t firstChunkSize, std::uint32_t secondChunkSize)
    : spare_{platform::PageBuffer(firstChunkSize), platform::PageBuffer(secondChunkSize)} {}

void WriteBehind::start(BackgroundJob& job, QvfStream& stream, std::uint32_t n) {
  std::swap(stream.video(0)->chunkBuffer, spare_[0]);
  std::swap(stream.video(1)->chunkBuffer, spare_[1]);
  stream_ = &stream;
  frame_ = n;
  pending_ = true;
  written_ = false;
  job.start(&WriteBehind::run, this);
}

void WriteBehind::run(void* self) {
  auto* behind = static_cast<WriteBehind*>(self);
  QvfStream& stream = *behind->stream_;
  behind->written_ =
      stream.writeFrameChunks(behind->frame_, {behind->spare_[0].data(), stream.video(0)->chunkSize},
                              {behind->spare_[1].data(), stream.video(1)->chunkSize});
}

bool WriteBehind::finish() {
  const bool failed = pending_ && !written_;
  pending_ = false;
  return !failed;
}

}  // namespace corvane::qvf
