#include "platform/file.h"

#include <utility>

namespace corvane::platform {

StreamHandle::~StreamHandle() { closeHandles(); }

StreamHandle::StreamHandle(StreamHandle&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)),
      positioned_(std::exchange(other.positioned_, kNoHandle)),
      attempt_(other.attempt_),
      unbuffered_(other.unbuffered_),
      seekCount_(std::exchange(other.seekCount_, 0)) {}

StreamHandle& StreamHandle::operator=(StreamHandle&& other) noexcept {
  if (this != &other) {
    closeHandles();
    handle_ = std::exchange(other.handle_, kNoHandle);
    positioned_ = std::exchange(other.positioned_, kNoHandle);
    attempt_ = other.attempt_;
    unbuffered_ = other.unbuffered_;
    seekCount_ = std::exchange(other.seekCount_, 0);
  }
  return *this;
}

BufferedFile::~BufferedFile() {
  if (file_ != nullptr) std::fclose(file_);
}

BufferedFile::BufferedFile(BufferedFile&& other) noexcept : file_(std::exchange(other.file_, nullptr)) {}

BufferedFile& BufferedFile::operator=(BufferedFile&& other) noexcept {
  if (this != &other) {
    if (file_ != nullptr) std::fclose(file_);
    file_ = std::exchange(other.file_, nullptr);
  }
  return *this;
}

bool BufferedFile::close() {
  if (file_ == nullptr) return true;
  return std::fclose(std::exchange(file_, nullptr)) == 0;
}

}  // namespace corvane::platform
