// The files beneath the QVF engine. The engine opens every file through a
// Storage and moves bytes through the two file interfaces below, never
// knowing which implementation it has: the disk (disk_storage.h), byte
// vectors in memory (memory_storage.h), or a wrapper that injects faults
// (faulty_storage.h).
//
// Sharing rules, which every implementation keeps: a frame file opened for
// writing excludes every other frame-file open and every header open for
// writing; a frame-file open fails while another file has write access;
// header opens for reading always succeed. Only regular files open: a pipe,
// device, directory or socket is refused at once, without blocking.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

#include "platform/file.h"

namespace corvane::qvf {

using platform::StreamOpenAttempt;
using platform::Transfer;

// The file that frame data moves through (the unbuffered handle on disk).
// Used by one thread at a time, except readScatterAt.
class FrameFile {
 public:
  virtual ~FrameFile() = default;

  virtual StreamOpenAttempt attempt() const = 0;
  bool writable() const { return attempt() == StreamOpenAttempt::ReadWriteUnbuffered; }

  // Places the file pointer at an absolute position; false when refused.
  virtual bool seek(std::uint64_t position) = 0;
  // At the file pointer, advancing it; a short count at the end of the file
  // is no error.
  virtual Transfer read(std::span<std::uint8_t> buffer) = 0;
  // One request filling the buffers in turn (at most 8 of them).
  virtual Transfer readScatter(std::span<const std::span<std::uint8_t>> buffers) = 0;
  // The same at an absolute position, leaving the file pointer alone: the one
  // call another thread may make beside the owner's transfers.
  virtual Transfer readScatterAt(std::uint64_t position,
                                 std::span<const std::span<std::uint8_t>> buffers) const = 0;
  // One write request from the buffers in turn (at most 8), at the file
  // pointer, advancing it.
  virtual Transfer writeGather(std::span<const std::span<const std::uint8_t>> buffers) = 0;
  Transfer write(std::span<const std::uint8_t> buffer) {
    const std::span<const std::uint8_t> one[1] = {buffer};
    return writeGather(one);
  }
  // nullopt when the size cannot be taken.
  virtual std::optional<std::uint64_t> size() const = 0;
  // Releases the file whatever happens; false when the close reports failure.
  virtual bool close() = 0;
};

// The file that headers are read from and written to (std::FILE on disk).
// Closed quietly when destroyed open.
class HeaderFile {
 public:
  virtual ~HeaderFile() = default;

  // Up to bytes.size() bytes from the position; the number read.
  virtual std::size_t read(std::span<std::uint8_t> bytes) = 0;
  // True when every byte was taken.
  virtual bool write(std::span<const std::uint8_t> bytes) = 0;
  // Moves the position without writing: the file grows only by writes.
  virtual bool seek(std::uint64_t position) = 0;
  // Releases the file whatever happens; false when the close (and with it the
  // flush of what was written) reports failure.
  virtual bool close() = 0;
};

// The three std::fopen modes the engine uses.
enum class HeaderMode : std::uint8_t {
  Read,       // "rb"
  ReadWrite,  // "r+b", an existing file
  Create,     // "wb": created or truncated, but only once the sharing rules allow writing
};

// Where files come from. Implementations are safe for concurrent use.
class Storage {
 public:
  virtual ~Storage() = default;
  // Tries the three frame-file opens in order; nullptr when all fail.
  virtual std::unique_ptr<FrameFile> openFrameFile(const char* path) = 0;
  // nullptr when the open fails.
  virtual std::unique_ptr<HeaderFile> openHeaderFile(const char* path, HeaderMode mode) = 0;
};

// The process's files on disk.
Storage& diskStorage();

}  // namespace corvane::qvf
