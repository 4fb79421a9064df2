// A test buffer whose last byte is followed by an inaccessible page, so that
// any read or write past the end faults at once.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <new>

namespace corvane::pixeltools::testing {

class GuardedBuffer {
 public:
  // size usable bytes, then `slack` accessible bytes, then the guard page.
  explicit GuardedBuffer(std::size_t size, std::size_t slack = 0) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t body = (size + slack + page - 1) / page * page;
    mapped_ = body + page;
    void* base = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (base == MAP_FAILED) throw std::bad_alloc();
    base_ = static_cast<std::uint8_t*>(base);
    if (mprotect(base_ + body, page, PROT_NONE) != 0) {
      munmap(base_, mapped_);
      throw std::bad_alloc();
    }
    data_ = base_ + body - slack - size;
  }
  ~GuardedBuffer() { munmap(base_, mapped_); }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  std::uint8_t* data() const { return data_; }

 private:
  std::uint8_t* base_ = nullptr;
  std::uint8_t* data_ = nullptr;
  std::size_t mapped_ = 0;
};

}  // namespace corvane::pixeltools::testing
