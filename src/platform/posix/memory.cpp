#include "platform/memory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <new>

namespace corvane::platform {

std::size_t pageSize() {
  static const std::size_t size = [] {
    const long page = ::sysconf(_SC_PAGESIZE);
    return page > 0 ? static_cast<std::size_t>(page) : std::size_t{4096};
  }();
  return size;
}

PageBuffer::PageBuffer(std::size_t size) {
  if (size == 0) return;
  const std::size_t mapped = wholePages(size);
  // Anonymous mappings come zero-filled and page-aligned, like committed
  // virtual memory.
  void* p = ::mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  data_ = static_cast<std::uint8_t*>(p);
  size_ = size;
  mapped_ = mapped;
}

std::size_t largePageSize() {
  // The transparent huge page of x86 and most other systems; where the
  // system has none, the advice below does nothing.
  return std::size_t{2} << 20;
}

void adviseLargePages(std::span<std::uint8_t> memory) noexcept {
  // Only whole large pages inside the range can be backed by them.
  const std::size_t large = largePageSize();
  const auto start = reinterpret_cast<std::uintptr_t>(memory.data());
  const std::uintptr_t first = (start + large - 1) / large * large;
  const std::uintptr_t end = (start + memory.size()) / large * large;
  if (first < end) ::madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE);
}

void PageBuffer::release() noexcept {
  if (data_ != nullptr) ::munmap(data_, mapped_);
  data_ = nullptr;
  size_ = 0;
  mapped_ = 0;
}

}  // namespace corvane::platform
