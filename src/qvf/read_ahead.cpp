#include "qvf/read_ahead.h"

#include <span>
#include <utility>

#include "qvf/background_job.h"
#include "qvf/stream.h"

namespace corvane::qvf {

ReadAhead::ReadAhead(std::uint32_t firstChunkSize, std::uint32_t secondChunkSize) {
  for (Slot& slot : slots_) {
    slot.chunks[0] = platform::PageBuffer(firstChunkSize);
    slot.chunks[1] = platform::PageBuffer(secondChunkSize);
  }
}

ReadAhead::Slot* ReadAhead::slotOf(std::uint32_t n) {
  for (Slot& slot : slots_)
    if (slot.state != State::Free && slot.frame == n) return &slot;
  return nullptr;
}

bool ReadAhead::take(QvfStream& stream, std::uint32_t n) {
  std::unique_lock<std::mutex> guard(lock_);
  Slot* slot = slotOf(n);
  if (slot == nullptr) return false;
  read_.wait(guard, [slot] { return slot->state == State::Read || slot->state == State::Failed; });
  const bool read = slot->state == State::Read && slot->writesWhenAsked == stream.file().writeCount();
  if (read) {
    std::swap(stream.video(0)->chunkBuffer, slot->chunks[0]);
    std::swap(stream.video(1)->chunkBuffer, slot->chunks[1]);
  }
  slot->state = State::Free;
  return read;
}

void ReadAhead::request(BackgroundJob& job, QvfStream& stream, std::uint32_t n) {
  // The size may be taken beside the helper's reads; no write runs meanwhile.
  const std::uint32_t frames =
      frameCountFor(stream.file().fileSize(), stream.header().dataOffset, stream.header().frameBlockSize);
  std::unique_lock<std::mutex> guard(lock_);
  bool wanted = false;
  for (std::uint64_t next = std::uint64_t{n} + 1; next <= std::uint64_t{n} + kDepth && next < frames;
       ++next) {
    if (slotOf(static_cast<std::uint32_t>(next)) != nullptr) continue;
    for (Slot& slot : slots_) {
      if (slot.state != State::Free) continue;
      slot.frame = static_cast<std::uint32_t>(next);
      slot.writesWhenAsked = stream.file().writeCount();
      slot.state = State::Wanted;
      wanted = true;
      break;
    }
  }
  if (!wanted || running_) return;
  running_ = true;
  stream_ = &stream;
  guard.unlock();
  job.wait();  // a run that has just given up may still be on its way out
  job.start(&ReadAhead::run, this);
}

void ReadAhead::discard() {
  std::lock_guard<std::mutex> guard(lock_);
  for (Slot& slot : slots_) slot.state = State::Free;
}

// Reads the frames asked for, lowest first, until none is left.
void ReadAhead::run(void* self) {
  auto* ahead = static_cast<ReadAhead*>(self);
  QvfStream& stream = *ahead->stream_;
  const VideoStreamContext& first = *stream.video(0);
  const VideoStreamContext& second = *stream.video(1);
  std::unique_lock<std::mutex> guard(ahead->lock_);
  for (;;) {
    Slot* next = nullptr;
    for (Slot& slot : ahead->slots_)
      if (slot.state == State::Wanted && (next == nullptr || slot.frame < next->frame)) next = &slot;
    if (next == nullptr) {
      ahead->running_ = false;
      return;
    }
    next->state = State::Reading;
    const std::uint32_t n = next->frame;
    guard.unlock();
    const std::uint64_t at = first.positionOf(n);
    // Only chunks that lie side by side: one request, as the frame reads make.
    const std::span<std::uint8_t> spares[2] = {{next->chunks[0].data(), first.chunkSize},
                                               {next->chunks[1].data(), second.chunkSize}};
    const bool read = second.positionOf(n) == at + first.chunkSize && stream.file().readAhead(at, spares);
    guard.lock();
    next->state = read ? State::Read : State::Failed;
    ahead->read_.notify_all();
  }
}

}  // namespace corvane::qvf
