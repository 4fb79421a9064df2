// StreamingFile: the unbuffered handle of one open QVF file, with the file
// position cached so that consecutive chunks need no seek. Used under the
// lock of the file's registry entry only.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "qvf/container.h"
#include "qvf/file_io.h"

namespace corvane::qvf {

class StreamingFile {
 public:
  // Throws EngineError "Could not open the file for Win32 streaming." when no
  // open attempt succeeds. The position cache starts invalid.
  void open(Storage& storage, const char* path);
  // Throws EngineError "Could not close the Win32 streaming file handle." when
  // the close fails; the handle is released either way.
  void close();
  bool isOpen() const { return file_ != nullptr; }

  // Places the file pointer at target, skipping the system call when the
  // cache says it is there already. A failed seek leaves the cache invalid.
  bool seekTo(std::uint64_t target);
  // Exactly the buffer's bytes at target, or the buffers' in turn with one
  // request; the cache advances by what was moved.
  bool readAt(std::uint64_t target, std::span<std::uint8_t> buffer);
  bool readAt(std::uint64_t target, std::span<const std::span<std::uint8_t>> buffers);
  // The same without touching the file pointer or the cache; the one call
  // that another thread may make while the entry's owner works on the file.
  bool readAhead(std::uint64_t target, std::span<const std::span<std::uint8_t>> buffers) const;
  // Counts every write attempted, so read-ahead data can tell it is stale.
  std::uint64_t writeCount() const { return writes_; }
  bool writeAt(std::uint64_t target, std::span<const std::uint8_t> buffer);
  bool writeAt(std::uint64_t target, std::span<const std::span<const std::uint8_t>> buffers);
  // One write wherever the file pointer stands; the cache is invalid after.
  bool writeUnpositioned(std::span<const std::uint8_t> buffer);
  // Makes the next unpositioned write land at target: no system call when the
  // file pointer is known to stand there (after an unpositioned write, say).
  bool placeFilePointer(std::uint64_t target);

  // 0 when the size cannot be taken.
  std::uint64_t fileSize() const;
  bool writable() const { return file_ && file_->writable(); }
  // Which open succeeded; meaningful while open.
  StreamOpenAttempt openAttempt() const {
    return file_ ? file_->attempt() : StreamOpenAttempt::ReadWriteUnbuffered;
  }
  std::uint64_t cachedPosition() const { return cached_; }
  // Seeks that reached the file since it was opened.
  std::uint64_t seekCount() const { return seeks_; }

 private:
  void advance(std::uint64_t moved);

  std::unique_ptr<FrameFile> file_;
  // Where the last positioned transfer left the pointer, for seek skipping.
  std::uint64_t cached_ = kInvalidPosition;
  // Where the file pointer is known to stand, whatever moved it last.
  std::uint64_t pointer_ = kInvalidPosition;
  std::uint64_t writes_ = 0;
  std::uint64_t seeks_ = 0;
};

}  // namespace corvane::qvf
