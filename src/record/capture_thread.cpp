// The capture thread: takes the queued frames in order and writes them into
// the record file; at the first frame after a stop it closes the file and
// ends the take. Writes run outside the device's lock, so the host's calls
// never wait for the disk.
#include <cerrno>
#include <cstring>

#include "engine/error.h"
#include "qvf/writer.h"
#include "record/record_device.h"

namespace corvane::record {

void RecordDevice::captureLoop() {
  lastPath_[0] = '\0';
  while (!stopThread_.load(std::memory_order_relaxed)) {
    FrameSlot* slot = nullptr;
    {
      std::lock_guard guard(lock_);
      slot = filledSlots_;
      if (slot != nullptr) filledSlots_ = slot->next;
    }
    if (slot == nullptr) {
      if (endTakeRequested_.load(std::memory_order_relaxed)) endStalledTake();
      seams_.clock.sleepMilliseconds(1);
      continue;
    }
    framesTaken_.fetch_add(1, std::memory_order_relaxed);
    captureFrame(*slot);
    std::lock_guard guard(lock_);
    slot->next = freeSlots_;
    freeSlots_ = slot;
  }
}

void RecordDevice::captureFrame(FrameSlot& slot) {
  std::uint32_t written = 0;
  std::uint32_t take = 0;
  {
    std::lock_guard guard(lock_);
    if (slot.engineCount > stopCount_.load(std::memory_order_relaxed)) {
      endTake(LostCause::AfterStop);
      return;
    }
    if (slot.engineCount <= startCount_.load(std::memory_order_relaxed)) {
      // Queued before this take started (the tail of the previous one): it
      // belongs to no file of this take.
      return;
    }
    if (!recordPath_ || recordPath_->empty()) {
      lost_.count(LostCause::NoFile);  // the host is not told
      return;
    }
    if (std::strcmp(recordPath_->c_str(), lastPath_.data()) != 0) {
      framesWritten_.store(0, std::memory_order_relaxed);
      std::memcpy(lastPath_.data(), recordPath_->c_str(), recordPath_->size() + 1);
    }
    written = framesWritten_.load(std::memory_order_relaxed);
    take = takeNumber_;
  }
  if (written > frameLimit_.load(std::memory_order_relaxed)) {
    lost_.count(LostCause::OverLimit);
    lostFrames_.fetch_add(1, std::memory_order_relaxed);
    return;  // not handed to the writer: the position stays
  }
  errno = 0;
  const bool stored = writeFrame(slot, written);
  const int error = errno;
  std::lock_guard guard(lock_);
  if (take != takeNumber_) return;  // a new take started meanwhile: its counts start clean
  if (!stored) failedWrite(error);
  framesWritten_.fetch_add(1, std::memory_order_relaxed);
}

// A write that stores less than the frame without a system error (a short
// write at a full disk) has no error number of its own.
void RecordDevice::failedWrite(int error) {
  lost_.count(LostCause::FailedWrite);
  lostFrames_.fetch_add(1, std::memory_order_relaxed);
  int none = 0;
  firstWriteError_.compare_exchange_strong(none, error != 0 ? error : EIO, std::memory_order_relaxed);
}

bool RecordDevice::writeFrame(const FrameSlot& slot, std::uint32_t written) {
  const char* path = lastPath_.data();
  const std::span<const std::uint8_t> frame(slot.pixels.data(), 2 * fieldBytes_);
  if (written != 0) return qvf::appendFrameRaw(seams_.registry, path, frame);
  try {
    seams_.registry.closeByName(path);
    qvf::create(seams_.storage, path, 2, 0, static_cast<std::int32_t>(seams_.mode.frameWidth),
                static_cast<std::int32_t>(seams_.mode.linesPerField()), seams_.mode.outputRate);
  } catch (const EngineError&) {
    // Nobody to show it to on this thread: the frame counts as a failed
    // write, which ends the take through the position query.
    return false;
  }
  return qvf::writeFrame(seams_.registry, path, qvf::FrameLayout::Fields422, frame);
}

void RecordDevice::endTake(std::optional<LostCause> cause) {
  std::lock_guard guard(lock_);  // re-entered at a stop
  if (recordPath_) {
    try {
      errno = 0;
      if (seams_.registry.closeByName(recordPath_->c_str())) checkFileStayed(recordPath_->c_str());
    } catch (const EngineError&) {
      failedWrite(errno);
    }
  }
  recordPath_.reset();
  if (cause) {
    lost_.count(*cause);
    lostFrames_.fetch_add(1, std::memory_order_relaxed);
  }
  startCount_.store(kNone, std::memory_order_relaxed);
}

// Writes into a file whose folder was removed during the take succeed, and
// the frames are gone once it is closed: that is a failed write too.
void RecordDevice::checkFileStayed(const char* path) {
  errno = 0;
  if (seams_.storage.openHeaderFile(path, qvf::HeaderMode::Read)) return;
  failedWrite(errno != 0 ? errno : ENOENT);
}

// No frame has come for a while after a stop (the input fell silent, or
// carries nothing that can be recorded): none will come to end the take, so
// the drained queue ends it here, closing a valid file.
void RecordDevice::endStalledTake() {
  std::lock_guard guard(lock_);
  if (filledSlots_ != nullptr || !endTakeRequested_.exchange(false, std::memory_order_relaxed)) return;
  endTake(std::nullopt);
}

}  // namespace corvane::record
