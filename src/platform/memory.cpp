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

}  // namespace corvane::platform
