// The field callback: runs on the board's delivery thread for every field of
// the input, pairs the fields of each frame into a slot and queues the frame.
// One copy of one field per call, two short lock sections per frame, no wait
// for the disk and no allocation.
#include <cstring>

#include "platform/thread.h"
#include "record/record_device.h"

namespace corvane::record {
namespace {

using Info = engine::FrameInfoLayout;

std::uint32_t u32At(const std::uint8_t* bytes) {
  std::uint32_t value;
  std::memcpy(&value, bytes, sizeof value);
  return value;  // little-endian, as every target is
}

}  // namespace

void RecordDevice::onInputField(void* context, void* data, const std::uint8_t* frameInfo) {
  static_cast<RecordDevice*>(context)->onField(static_cast<const std::uint8_t*>(data), frameInfo);
}

void RecordDevice::onField(const std::uint8_t* pixels, const std::uint8_t* frameInfo) {
  if (!capturing_.load(std::memory_order_acquire)) {
    fieldPriorityRaised_.store(false, std::memory_order_relaxed);
  } else {
    if (!fieldPriorityRaised_.exchange(true, std::memory_order_relaxed)) {
      platform::raiseCurrentThreadToTimeCritical();
    }
    const std::uint32_t count = u32At(frameInfo + Info::kFrameCount);
    if (count > startCount_.load(std::memory_order_relaxed)) {
      const auto parity =
          static_cast<std::uint32_t>(seams_.board.FieldParity(frameInfo + Info::kParityStamp));
      if (parity == expectedField_.load(std::memory_order_relaxed)) {
        const std::uint32_t wanted = seams_.mode.isNtsc != 0 ? 1716 : 1728;
        if (u32At(frameInfo + Info::kSamplesPerLine) != wanted) {
          loseFrame(LostCause::WrongStandard);
          lostFrames_.fetch_add(1, std::memory_order_relaxed);
        } else {
          takeField(pixels, count, parity);
        }
      }
    }
  }
  seams_.broker.ReturnInputFrame(seams_.board.GetProbeSource(probe_),
                                 u32At(frameInfo + Info::kFrameIdentifier));
}

void RecordDevice::takeField(const std::uint8_t* pixels, std::uint32_t count, std::uint32_t parity) {
  if (parity == 0) {
    if (assemblingSlot_ != nullptr) {
      // A frame left unfinished by an earlier take: discarded, and this field
      // is not used either.
      {
        std::lock_guard guard(lock_);
        assemblingSlot_->next = freeSlots_;
        freeSlots_ = assemblingSlot_;
      }
      assemblingSlot_ = nullptr;
      loseFrame(LostCause::UnfinishedFrame);
      return;
    }
    {
      std::lock_guard guard(lock_);
      assemblingSlot_ = freeSlots_;
      if (assemblingSlot_ != nullptr) freeSlots_ = assemblingSlot_->next;
    }
    if (assemblingSlot_ == nullptr) {
      loseFrame(LostCause::NoFreeSlot);
      return;
    }
  }
  std::memcpy(assemblingSlot_->pixels.data() + (parity == 0 ? 0 : fieldBytes_), pixels, fieldBytes_);
  if (parity == 0) {
    assemblingSlot_->engineCount = count;
  } else {
    std::lock_guard guard(lock_);
    assemblingSlot_->next = nullptr;
    FrameSlot** tail = &filledSlots_;
    while (*tail != nullptr) tail = &(*tail)->next;
    *tail = assemblingSlot_;
    assemblingSlot_ = nullptr;
  }
  expectedField_.store(parity ^ 1, std::memory_order_relaxed);
}

// Shortages in the callback reach the host only when it asked for that.
void RecordDevice::loseFrame(LostCause cause) {
  lost_.count(cause);
  if (cause != LostCause::WrongStandard && seams_.stopWhenDropped.load(std::memory_order_relaxed)) {
    lostFrames_.fetch_add(1, std::memory_order_relaxed);
  }
}

}  // namespace corvane::record
