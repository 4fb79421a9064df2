#include "qvf/streaming_file.h"

#include <span>

#include "engine/error.h"

namespace corvane::qvf {

void StreamingFile::open(Storage& storage, const char* path) {
  file_ = storage.openFrameFile(path);
  cached_ = kInvalidPosition;
  pointer_ = 0;
  seeks_ = 0;
  if (!file_) {
    pointer_ = kInvalidPosition;
    throw EngineError("Could not open the file for Win32 streaming.");
  }
}

void StreamingFile::close() {
  cached_ = kInvalidPosition;
  pointer_ = kInvalidPosition;
  if (!file_) return;
  const bool closed = file_->close();
  file_.reset();
  if (!closed) throw EngineError("Could not close the Win32 streaming file handle.");
}

bool StreamingFile::seekTo(std::uint64_t target) {
  if (target == cached_) return true;
  if (file_) ++seeks_;
  if (!file_ || !file_->seek(target)) {
    // Never let a later transfer to this target skip its seek.
    cached_ = kInvalidPosition;
    pointer_ = kInvalidPosition;
    return false;
  }
  cached_ = target;
  pointer_ = target;
  return true;
}

namespace {

template <class Byte>
std::uint64_t totalBytes(std::span<const std::span<Byte>> buffers) {
  std::uint64_t total = 0;
  for (std::span<Byte> buffer : buffers) total += buffer.size();
  return total;
}

}  // namespace

void StreamingFile::advance(std::uint64_t moved) {
  if (cached_ != kInvalidPosition) cached_ += moved;
  if (pointer_ != kInvalidPosition) pointer_ += moved;
}

bool StreamingFile::readAt(std::uint64_t target, std::span<std::uint8_t> buffer) {
  const std::span<std::uint8_t> one[1] = {buffer};
  return readAt(target, one);
}

bool StreamingFile::readAt(std::uint64_t target, std::span<const std::span<std::uint8_t>> buffers) {
  if (!file_ || !seekTo(target)) return false;
  const Transfer moved = file_->readScatter(buffers);
  advance(moved.count);
  return moved.ok && moved.count == totalBytes(buffers);
}

bool StreamingFile::readAhead(std::uint64_t target, std::span<const std::span<std::uint8_t>> buffers) const {
  if (!file_) return false;
  const Transfer moved = file_->readScatterAt(target, buffers);
  return moved.ok && moved.count == totalBytes(buffers);
}

bool StreamingFile::writeAt(std::uint64_t target, std::span<const std::uint8_t> buffer) {
  const std::span<const std::uint8_t> one[1] = {buffer};
  return writeAt(target, one);
}

bool StreamingFile::writeAt(std::uint64_t target, std::span<const std::span<const std::uint8_t>> buffers) {
  ++writes_;
  if (!file_ || !seekTo(target)) return false;
  const Transfer moved = file_->writeGather(buffers);
  advance(moved.count);
  return moved.ok && moved.count == totalBytes(buffers);
}

bool StreamingFile::writeUnpositioned(std::span<const std::uint8_t> buffer) {
  ++writes_;
  if (!file_) return false;
  const Transfer moved = file_->write(buffer);
  cached_ = kInvalidPosition;
  if (pointer_ != kInvalidPosition) pointer_ += moved.count;
  return moved.ok && moved.count == buffer.size();
}

bool StreamingFile::placeFilePointer(std::uint64_t target) {
  if (pointer_ == target) return true;
  return seekTo(target);
}

std::uint64_t StreamingFile::fileSize() const { return file_ ? file_->size().value_or(0) : 0; }

}  // namespace corvane::qvf
