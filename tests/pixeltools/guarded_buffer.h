// A test buffer whose last byte is followed by an inaccessible page, so that
// any read or write past the end faults at once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/system.h"

namespace corvane::pixeltools::testing {

class GuardedBuffer {
 public:
  // size usable bytes, then `slack` accessible bytes, then the guard page.
  explicit GuardedBuffer(std::size_t size, std::size_t slack = 0) {
    const std::size_t page = corvane::testing::systemPageSize();
    body_ = (size + slack + page - 1) / page * page;
    base_ = static_cast<std::uint8_t*>(corvane::testing::mapWithGuardPage(body_));
    data_ = base_ + body_ - slack - size;
  }
  ~GuardedBuffer() { corvane::testing::unmapWithGuardPage(base_, body_); }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;

  std::uint8_t* data() const { return data_; }

 private:
  std::uint8_t* base_ = nullptr;
  std::uint8_t* data_ = nullptr;
  std::size_t body_ = 0;
};

}  // namespace corvane::pixeltools::testing
