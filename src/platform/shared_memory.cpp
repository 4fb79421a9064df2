#include "platform/shared_memory.h"

#include <utility>

namespace corvane::platform {

SharedMemory::~SharedMemory() { release(); }

SharedMemory::SharedMemory(SharedMemory&& other) noexcept
    : name_(std::move(other.name_)),
      data_(std::exchange(other.data_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      identity_{std::exchange(other.identity_[0], 0), std::exchange(other.identity_[1], 0)} {}

SharedMemory& SharedMemory::operator=(SharedMemory&& other) noexcept {
  if (this != &other) {
    release();
    name_ = std::move(other.name_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    identity_[0] = std::exchange(other.identity_[0], 0);
    identity_[1] = std::exchange(other.identity_[1], 0);
  }
  return *this;
}

}  // namespace corvane::platform
