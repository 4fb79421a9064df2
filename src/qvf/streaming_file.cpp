#include "qvf/streaming_file.h"

#include <span>

#include "engine/error.h"

namespace corvane::qvf {

void StreamingFile::open(const char* path) {
  handle_ = platform::StreamHandle::open(path);
  cached_ = kInvalidPosition;
  pointer_ = 0;
  if (!handle_.isOpen()) {
    pointer_ = kInvalidPosition;
    throw EngineError("Could not open the file for Win32 streaming.");
  }
}

void StreamingFile::close() {
  cached_ = kInvalidPosition;
  pointer_ = kInvalidPosition;
  if (!handle_.close()) throw EngineError("Could not close the Win32 streaming file handle.");
}

bool StreamingFile::seekTo(std::uint64_t target) {
  if (target == cached_) return true;
  if (!handle_.seek(target)) {
    // Never let a later transfer to this target skip its seek.
    cached_ = kInvalidPosition;
    pointer_ = kInvalidPosition;
    return false;
  }
  cached_ = target;
  pointer_ = target;
  return true;
}

void StreamingFile::advance(std::uint64_t moved) {
  if (cached_ != kInvalidPosition) cached_ += moved;
  if (pointer_ != kInvalidPosition) pointer_ += moved;
}

bool StreamingFile::readAt(std::uint64_t target, std::uint8_t* buffer, std::uint32_t length) {
  if (!seekTo(target)) return false;
  const platform::Transfer moved = handle_.read(std::span<std::uint8_t>(buffer, length));
  advance(moved.count);
  return moved.ok && moved.count == length;
}

bool StreamingFile::readAt(std::uint64_t target, std::span<std::uint8_t> first,
                           std::span<std::uint8_t> second) {
  if (!seekTo(target)) return false;
  const std::span<std::uint8_t> buffers[2] = {first, second};
  const platform::Transfer moved = handle_.readScatter(buffers);
  advance(moved.count);
  return moved.ok && moved.count == first.size() + second.size();
}

bool StreamingFile::readAhead(std::uint64_t target, std::span<std::uint8_t> first,
                              std::span<std::uint8_t> second) const {
  const std::span<std::uint8_t> buffers[2] = {first, second};
  const platform::Transfer moved = handle_.readScatterAt(target, buffers);
  return moved.ok && moved.count == first.size() + second.size();
}

bool StreamingFile::writeAt(std::uint64_t target, const std::uint8_t* buffer, std::uint32_t length) {
  ++writes_;
  if (!seekTo(target)) return false;
  const platform::Transfer moved = handle_.write(std::span<const std::uint8_t>(buffer, length));
  advance(moved.count);
  return moved.ok && moved.count == length;
}

bool StreamingFile::writeUnpositioned(const std::uint8_t* buffer, std::uint32_t length) {
  ++writes_;
  const platform::Transfer moved = handle_.write(std::span<const std::uint8_t>(buffer, length));
  cached_ = kInvalidPosition;
  if (pointer_ != kInvalidPosition) pointer_ += moved.count;
  return moved.ok && moved.count == length;
}

bool StreamingFile::placeFilePointer(std::uint64_t target) {
  if (pointer_ == target) return true;
  return seekTo(target);
}

std::uint64_t StreamingFile::fileSize() const { return handle_.size().value_or(0); }

}  // namespace corvane::qvf
