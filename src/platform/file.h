// Files for the native video engine: the unbuffered streaming handle that
// frame data moves through, and buffered std::FILE opens that honour the same
// sharing rules.
//
// Sharing, across processes as well as within one: a streaming handle lets
// others read but not write. While one is open, no other streaming open and
// no buffered open for writing succeeds; a streaming open fails while another
// handle (streaming or buffered) has write access. Buffered opens for reading
// always succeed. Two paths naming the same file conflict as one.
//
// Only regular files open: a FIFO, device, directory or socket is refused at
// once, and no open ever waits for the other end of a pipe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>

namespace corvane::platform {

// Which of the three streaming opens succeeded, in the order they are tried.
enum class StreamOpenAttempt : std::uint8_t {
  ReadWriteUnbuffered = 1,  // read-write, created if missing
  ReadOnlyUnbuffered = 2,   // existing file, read-only
  ReadOnlyBuffered = 3,     // existing file, read-only, through the page cache
};

// The outcome of one read or write: ok is false when the system reported an
// error; count is what was actually moved either way.
struct Transfer {
  bool ok = false;
  std::size_t count = 0;
};

// One open file for frame data. Unbuffered where the filesystem allows it with
// 512-byte alignment (positions, lengths and buffers must then be multiples of
// 512); otherwise the same access through the page cache. Move-only; used by
// one thread at a time.
class StreamHandle {
 public:
  StreamHandle() = default;
  ~StreamHandle();
  StreamHandle(StreamHandle&& other) noexcept;
  StreamHandle& operator=(StreamHandle&& other) noexcept;
  StreamHandle(const StreamHandle&) = delete;
  StreamHandle& operator=(const StreamHandle&) = delete;

  // Tries the three opens in order; an empty handle when all fail.
  static StreamHandle open(const char* path);

  bool isOpen() const { return handle_ != kNoHandle; }
  StreamOpenAttempt attempt() const { return attempt_; }
  // True when transfers bypass the page cache.
  bool unbuffered() const { return unbuffered_; }
  bool writable() const { return attempt_ == StreamOpenAttempt::ReadWriteUnbuffered; }

  // Places the file pointer at an absolute position. Every call is one system
  // call and is counted.
  bool seek(std::uint64_t position);
  // At the file pointer, advancing it; short counts at the end of the file are
  // reported through Transfer::count, not as errors.
  Transfer read(std::span<std::uint8_t> buffer);
  // One transfer into several buffers in turn, as one request: the device
  // sees a single read however the data is spread in memory. At most
  // kMaxScatterBuffers buffers.
  Transfer readScatter(std::span<const std::span<std::uint8_t>> buffers);
  static constexpr std::size_t kMaxScatterBuffers = 8;
  // The same at an absolute position, leaving the file pointer where it is
  // and counting no seek: safe beside another thread's positioned transfers.
  Transfer readScatterAt(std::uint64_t position, std::span<const std::span<std::uint8_t>> buffers) const;
  Transfer write(std::span<const std::uint8_t> buffer);
  // One write request from several buffers in turn, at the file pointer, as
  // readScatter reads: at most kMaxScatterBuffers buffers.
  Transfer writeGather(std::span<const std::span<const std::uint8_t>> buffers);
  // nullopt when the size cannot be taken.
  std::optional<std::uint64_t> size() const;
  // Closes the handle (it is empty afterwards, whatever the result); false
  // when the system reports a failure.
  bool close();

  // Seek system calls made through this handle since it was opened.
  std::uint64_t seekCount() const { return seekCount_; }

 private:
  // The system's handle (a descriptor or a HANDLE, widened); kNoHandle when
  // closed. positioned_ is a second handle to the same file with a file
  // pointer of its own, for systems whose positioned reads move the pointer
  // (kNoHandle where they leave it alone).
  static constexpr std::intptr_t kNoHandle = -1;
  // Closes both handles, leaving kNoHandle; the backend's.
  void closeHandles() noexcept;
  std::intptr_t handle_ = kNoHandle;
  std::intptr_t positioned_ = kNoHandle;
  StreamOpenAttempt attempt_ = StreamOpenAttempt::ReadWriteUnbuffered;
  bool unbuffered_ = false;
  std::uint64_t seekCount_ = 0;
};

// A std::FILE opened under the sharing rules above. Move-only.
class BufferedFile {
 public:
  BufferedFile() = default;
  ~BufferedFile();
  BufferedFile(BufferedFile&& other) noexcept;
  BufferedFile& operator=(BufferedFile&& other) noexcept;
  BufferedFile(const BufferedFile&) = delete;
  BufferedFile& operator=(const BufferedFile&) = delete;

  // mode is one of the std::fopen modes "rb", "r+b" and "wb". An empty file
  // when the open fails, including a writing open refused by a streaming
  // handle on the file ("wb" then truncates nothing).
  static BufferedFile open(const char* path, const char* mode);

  std::FILE* get() const { return file_; }
  explicit operator bool() const { return file_ != nullptr; }
  // std::fclose; false when it reports a failure. Empty afterwards.
  bool close();

 private:
  explicit BufferedFile(std::FILE* file) : file_(file) {}
  std::FILE* file_ = nullptr;
};

// True when another handle has path open for writing under the sharing rules
// above (a streaming writer or a buffered writer), which makes opens fail.
bool heldForWritingElsewhere(const char* path);

}  // namespace corvane::platform
