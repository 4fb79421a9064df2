#include "platform/memory.h"

#include <cstdint>
#include <new>
#include <utility>

namespace corvane::platform {

PageBuffer::~PageBuffer() { release(); }

PageBuffer::PageBuffer(PageBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(std::exchange(other.mapped_, 0)) {}

PageBuffer& PageBuffer::operator=(PageBuffer&& other) noexcept {
  if (this != &other) {
    release();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    mapped_ = std::exchange(other.mapped_, 0);
  }
  return *this;
}

std::size_t wholePages(std::size_t size) {
  const std::size_t page = pageSize();
  if (size > SIZE_MAX - (page - 1)) throw std::bad_alloc();
  return (size + page - 1) / page * page;
}

void prepareForTransfers(std::span<std::uint8_t> memory) {
  adviseLargePages(memory);
  // A write, not a read: reading would only map the shared zero page.
  volatile std::uint8_t* bytes = memory.data();
  for (std::size_t at = 0; at < memory.size(); at += pageSize()) bytes[at] = 0;
}

}  // namespace corvane::platform
