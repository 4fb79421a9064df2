// Page-aligned committed memory for everything that unbuffered file handles
// and the board touch (chunk buffers, playback and capture slots).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace corvane::platform {

// Owns one anonymous mapping of at least size bytes, zero-filled, read-write,
// aligned to the page size. Move-only; an empty buffer owns nothing.
class PageBuffer {
 public:
  PageBuffer() = default;
  // Throws std::bad_alloc when the system refuses the memory.
  explicit PageBuffer(std::size_t size);
  ~PageBuffer();
  PageBuffer(PageBuffer&& other) noexcept;
  PageBuffer& operator=(PageBuffer&& other) noexcept;
  PageBuffer(const PageBuffer&) = delete;
  PageBuffer& operator=(const PageBuffer&) = delete;

  std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  std::span<std::uint8_t> bytes() const { return {data_, size_}; }
  bool empty() const { return data_ == nullptr; }

 private:
  void release() noexcept;
  std::uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t mapped_ = 0;
};

std::size_t pageSize();
// size rounded up to whole pages; std::bad_alloc when that does not fit.
std::size_t wholePages(std::size_t size);

}  // namespace corvane::platform
