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

// The large pages the system may back ordinary memory with (the page size
// where it offers none without privileges). A buffer starting on such a
// boundary can be backed by them whole.
std::size_t largePageSize();
// For memory that frames pass through again and again (copied in, written
// out without the cache): asks for large pages where the system offers them,
// so a transfer has few pages to pin and its request few pieces, and touches
// every page so that none faults in the middle of a frame. The memory must be
// page-aligned, read-write and zero; it stays zero.
void prepareForTransfers(std::span<std::uint8_t> memory);
// The system's half of prepareForTransfers: the large-page request only.
void adviseLargePages(std::span<std::uint8_t> memory) noexcept;

}  // namespace corvane::platform
