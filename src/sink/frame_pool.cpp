#include "sink/frame_pool.h"

#include <array>
#include <new>

#include "engine/error.h"

namespace corvane::sink {

void KeptBuffers::reserve(std::size_t count) {
  std::lock_guard guard(lock_);
  buffers_.reserve(buffers_.size() + reserved_ + count);
  reserved_ += count;
}

void KeptBuffers::keep(std::span<platform::PageBuffer*> held, std::size_t count) noexcept {
  std::lock_guard guard(lock_);
  for (platform::PageBuffer* buffer : held) buffers_.push_back(std::move(*buffer));  // within the reserve
  reserved_ -= count;
}

std::size_t KeptBuffers::count() {
  std::lock_guard guard(lock_);
  return buffers_.size();
}

FramePool::FramePool(std::uint32_t count, std::uint32_t width, std::uint32_t height, KeptBuffers* keeper)
    : bufferBytes_(std::size_t{(width + 3) / 4 * 4} * height * 4 + kSpareBytes), keeper_(keeper) {
  if (count > kMaxBuffers) throw EngineError("Not enough memory");
  table_.reserve(count);
  try {
    for (std::uint32_t i = 0; i < count; ++i) {
      table_.push_back(FrameBuffer{platform::PageBuffer(bufferBytes_)});
      push(table_.back());
    }
    if (keeper_ != nullptr) keeper_->reserve(count);
  } catch (const std::bad_alloc&) {
    throw EngineError("Not enough memory");
  }
}

FramePool::~FramePool() {
  if (keeper_ == nullptr) return;
  std::array<platform::PageBuffer*, kMaxBuffers> held{};
  std::size_t count = 0;
  {
    std::lock_guard guard(lock_);
    for (FrameBuffer& buffer : table_) {
      if (buffer.held) held[count++] = &buffer.pixels;
    }
  }
  keeper_->keep(std::span(held.data(), count), table_.size());
}

std::uint8_t* FramePool::takeEmpty(platform::Clock& clock) {
  for (;;) {
    {
      std::lock_guard guard(lock_);
      if (FrameBuffer* top = emptyTop_) {
        emptyTop_ = top->next;
        top->next = nullptr;
        top->held = true;
        return top->pixels.data();
      }
    }
    clock.sleepMilliseconds(1);
  }
}

FrameBuffer* FramePool::find(const std::uint8_t* address) {
  for (FrameBuffer& buffer : table_) {
    if (buffer.pixels.data() == address) return &buffer;
  }
  return nullptr;
}

void FramePool::push(FrameBuffer& buffer) {
  buffer.next = emptyTop_;
  emptyTop_ = &buffer;
}

std::span<std::uint8_t> FramePool::heldBuffer(const std::uint8_t* address) {
  FrameBuffer* buffer = find(address);
  if (buffer == nullptr) return {};
  std::lock_guard guard(lock_);
  return buffer->held ? buffer->pixels.bytes() : std::span<std::uint8_t>{};
}

void FramePool::queue(const std::uint8_t* address, SourceLayout layout, std::int64_t presentationTime) {
  FrameBuffer* buffer = find(address);
  if (buffer == nullptr) return;
  std::lock_guard guard(lock_);
  if (!buffer->held) return;
  buffer->held = false;
  buffer->layout = layout;
  buffer->presentationTime = presentationTime;
  buffer->serial = ++lastSerial_;
  buffer->next = nullptr;
  FrameBuffer** tail = &queueHead_;
  while (*tail != nullptr) tail = &(*tail)->next;
  *tail = buffer;
}

void FramePool::release(const std::uint8_t* address) {
  FrameBuffer* buffer = find(address);
  if (buffer == nullptr) return;
  std::lock_guard guard(lock_);
  if (!buffer->held) return;
  buffer->held = false;
  push(*buffer);
}

void FramePool::flush() {
  std::lock_guard guard(lock_);
  if (queueHead_ == nullptr) return;
  FrameBuffer** bottom = &emptyTop_;
  while (*bottom != nullptr) bottom = &(*bottom)->next;
  *bottom = queueHead_;
  queueHead_ = nullptr;
}

bool FramePool::queueEmpty() {
  std::lock_guard guard(lock_);
  return queueHead_ == nullptr;
}

void FramePool::waitUntilDrained(platform::Clock& clock) {
  for (;;) {
    {
      std::lock_guard guard(lock_);
      if (queueHead_ == nullptr && inOutput_ == 0) return;
    }
    clock.sleepMilliseconds(1);
  }
}

void FramePool::setStartTime(std::int64_t start) {
  std::lock_guard guard(lock_);
  startTime_ = start;
}

FramePool::Head FramePool::head(std::int64_t now) {
  std::lock_guard guard(lock_);
  const FrameBuffer* head = queueHead_;
  if (head == nullptr || startTime_ == kStopped) return {};
  return {head->serial, head->presentationTime - (now - startTime_)};
}

FrameBuffer* FramePool::takeDue(std::int64_t now, std::int64_t* untilDue, std::uint64_t serial) {
  std::lock_guard guard(lock_);
  FrameBuffer* head = queueHead_;
  if (head == nullptr || startTime_ == kStopped) return nullptr;
  if (serial != 0 && head->serial != serial) return nullptr;
  const std::int64_t elapsed = now - startTime_;
  if (elapsed < head->presentationTime) {
    *untilDue = head->presentationTime - elapsed;
    return nullptr;
  }
  queueHead_ = head->next;
  head->next = nullptr;
  ++inOutput_;
  return head;
}

void FramePool::giveBack(FrameBuffer& buffer) {
  std::lock_guard guard(lock_);
  --inOutput_;
  push(buffer);
}

}  // namespace corvane::sink
