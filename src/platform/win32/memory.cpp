#include "platform/memory.h"

#include <windows.h>

#include <cstdint>
#include <new>

namespace corvane::platform {

std::size_t pageSize() {
  static const std::size_t size = [] {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize > 0 ? static_cast<std::size_t>(info.dwPageSize) : std::size_t{4096};
  }();
  return size;
}

PageBuffer::PageBuffer(std::size_t size) {
  if (size == 0) return;
  const std::size_t mapped = wholePages(size);
  // Committed pages come zero-filled and aligned to the allocation
  // granularity, which is a multiple of the page size.
  void* p = VirtualAlloc(nullptr, mapped, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (p == nullptr) throw std::bad_alloc();
  data_ = static_cast<std::uint8_t*>(p);
  size_ = size;
  mapped_ = mapped;
}

// Large pages need the lock-memory privilege, which a host does not hold:
// ordinary pages only.
std::size_t largePageSize() { return pageSize(); }

void adviseLargePages(std::span<std::uint8_t>) noexcept {}

void PageBuffer::release() noexcept {
  // MEM_RELEASE takes the whole reservation back and wants size 0.
  if (data_ != nullptr) VirtualFree(data_, 0, MEM_RELEASE);
  data_ = nullptr;
  size_ = 0;
  mapped_ = 0;
}

}  // namespace corvane::platform
