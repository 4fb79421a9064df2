#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <limits>
#include <string_view>
#include <utility>

static_assert(sizeof(off_t) == 8, "file positions must be 64-bit in every build");

namespace corvane::platform {
namespace {

// Advisory open-file-description locks on two bytes far beyond any data stand
// for the native share modes: streaming handles lock kStreamingByte
// (exclusively when they write), buffered writers share kBufferedWriterByte.
constexpr off_t kStreamingByte = 0x7FFF'FFFF'FFFF'FF00;
constexpr off_t kBufferedWriterByte = kStreamingByte + 1;
constexpr std::uint32_t kSectorSize = 512;
// One system call moves at most this much; larger transfers loop.
constexpr std::size_t kMaxChunkPerCall = std::size_t{1} << 30;

struct flock lockRecord(short type, off_t start) {
  struct flock record;
  std::memset(&record, 0, sizeof record);
  record.l_type = type;
  record.l_whence = SEEK_SET;
  record.l_start = start;
  record.l_len = 1;
  return record;
}

bool takeLock(int fd, short type, off_t start) {
  struct flock record = lockRecord(type, start);
  return ::fcntl(fd, F_OFD_SETLK, &record) == 0;
}

// True when another open file description holds a lock on start that would
// conflict with an exclusive one.
bool lockedByOthers(int fd, off_t start) {
  struct flock record = lockRecord(F_WRLCK, start);
  if (::fcntl(fd, F_OFD_GETLK, &record) != 0) return true;
  return record.l_type != F_UNLCK;
}

// A streaming handle first claims its own byte and only then looks for
// buffered writers, and a buffered writer does the reverse, so of two opens
// racing each other at least one sees the other.
bool claimStreaming(int fd, bool write) {
  if (!takeLock(fd, write ? F_WRLCK : F_RDLCK, kStreamingByte)) return false;
  return !lockedByOthers(fd, kBufferedWriterByte);
}

bool claimBufferedWriter(int fd) {
  if (!takeLock(fd, F_RDLCK, kBufferedWriterByte)) return false;
  return !lockedByOthers(fd, kStreamingByte);
}

// Direct I/O is worth keeping only where 512-byte alignment suffices; a
// filesystem that reports coarser alignment (or none) gets buffered access.
bool directAlignmentFits(int fd) {
  struct statx info;
  std::memset(&info, 0, sizeof info);
  if (::statx(fd, "", AT_EMPTY_PATH, STATX_DIOALIGN, &info) != 0) return true;
  if ((info.stx_mask & STATX_DIOALIGN) == 0) return true;  // not reported: assume 512
  return info.stx_dio_offset_align != 0 && info.stx_dio_offset_align <= kSectorSize &&
         info.stx_dio_mem_align <= kSectorSize;
}

// Opens path only when it names a regular file. The open itself must not
// wait: without O_NONBLOCK, opening a FIFO for reading blocks until a writer
// comes, maybe forever. A pipe, device, directory or socket is closed again at
// once (errno ENXIO); a regular file gets blocking transfers back.
int openRegular(const char* path, int flags) {
  int fd;
  do {
    fd = ::open(path, flags | O_CLOEXEC | O_NONBLOCK, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  struct stat info;
  const int status = ::fcntl(fd, F_GETFL);
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || status == -1 ||
      ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
    ::close(fd);
    errno = ENXIO;
    return -1;
  }
  return fd;
}

// One open attempt: unbuffered where asked and possible, then the lock.
int openAttempt(const char* path, int flags, bool tryDirect, bool write, bool& unbuffered) {
  int fd = -1;
  unbuffered = false;
  if (tryDirect) {
    fd = openRegular(path, flags | O_DIRECT);
    if (fd >= 0 && directAlignmentFits(fd)) {
      unbuffered = true;
    } else {
      if (fd >= 0)
        ::close(fd);
      else if (errno != EINVAL)
        return -1;
      fd = -1;
    }
  }
  if (fd < 0) fd = openRegular(path, flags);
  if (fd < 0) return -1;
  if (!claimStreaming(fd, write)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// The descriptor kept in the handle's OS-neutral slot.
int descriptor(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

void StreamHandle::closeHandles() noexcept {
  if (handle_ != kNoHandle) ::close(descriptor(std::exchange(handle_, kNoHandle)));
}

StreamHandle StreamHandle::open(const char* path) {
  struct Attempt {
    StreamOpenAttempt which;
    int flags;
    bool direct;
    bool write;
  };
  static constexpr Attempt kAttempts[] = {
      {StreamOpenAttempt::ReadWriteUnbuffered, O_RDWR | O_CREAT, true, true},
      {StreamOpenAttempt::ReadOnlyUnbuffered, O_RDONLY, true, false},
      {StreamOpenAttempt::ReadOnlyBuffered, O_RDONLY, false, false},
  };
  StreamHandle handle;
  if (path == nullptr) return handle;
  for (const Attempt& attempt : kAttempts) {
    bool unbuffered = false;
    const int fd = openAttempt(path, attempt.flags, attempt.direct, attempt.write, unbuffered);
    if (fd < 0) continue;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    handle.handle_ = fd;
    handle.attempt_ = attempt.which;
    handle.unbuffered_ = unbuffered;
    break;
  }
  return handle;
}

bool StreamHandle::seek(std::uint64_t position) {
  if (handle_ == kNoHandle) return false;
  ++seekCount_;
  // Positions past the largest off_t become negative and are refused.
  return ::lseek(descriptor(handle_), static_cast<off_t>(position), SEEK_SET) != static_cast<off_t>(-1);
}

namespace {

// Moves size bytes with call(done, want) -> the system call's result, one
// call at a time, retrying interruptions and stopping at the end of the file.
template <class Call>
Transfer transferAll(int fd, std::size_t size, Call call) {
  Transfer result;
  if (fd < 0) return result;
  result.ok = true;
  while (result.count < size) {
    const ssize_t n = call(result.count, std::min(size - result.count, kMaxChunkPerCall));
    if (n < 0) {
      if (errno == EINTR) continue;
      result.ok = false;
      break;
    }
    if (n == 0) break;  // end of file
    result.count += static_cast<std::size_t>(n);
  }
  return result;
}

}  // namespace

Transfer StreamHandle::read(std::span<std::uint8_t> buffer) {
  const int fd = descriptor(handle_);
  return transferAll(fd, buffer.size(), [&](std::size_t done, std::size_t want) {
    return ::read(fd, buffer.data() + done, want);
  });
}

namespace {

// One request over several buffers in turn: call(pieces, count, done) is
// readv, writev or their positioned forms, done being the bytes moved so far.
// Short transfers go on where they stopped; a read that meets the end of the
// file stops there.
template <class Byte, class Call>
Transfer vectored(int fd, std::span<const std::span<Byte>> buffers, Call call) {
  Transfer result;
  if (fd < 0 || buffers.size() > StreamHandle::kMaxScatterBuffers) return result;
  std::array<iovec, StreamHandle::kMaxScatterBuffers> pieces{};
  std::size_t total = 0;
  for (std::size_t i = 0; i < buffers.size(); ++i) {
    pieces[i] = iovec{const_cast<std::uint8_t*>(buffers[i].data()), buffers[i].size()};
    total += buffers[i].size();
  }
  std::size_t first = 0;
  result.ok = true;
  while (result.count < total) {
    const ssize_t n = call(pieces.data() + first, static_cast<int>(buffers.size() - first), result.count);
    if (n < 0) {
      if (errno == EINTR) continue;
      result.ok = false;
      break;
    }
    if (n == 0) break;  // end of file
    result.count += static_cast<std::size_t>(n);
    for (std::size_t moved = static_cast<std::size_t>(n); moved > 0 && first < buffers.size();) {
      const std::size_t step = std::min(moved, pieces[first].iov_len);
      pieces[first].iov_base = static_cast<std::uint8_t*>(pieces[first].iov_base) + step;
      pieces[first].iov_len -= step;
      moved -= step;
      if (pieces[first].iov_len == 0) ++first;
    }
  }
  return result;
}

// position -1 reads at the file pointer, anything else at that offset.
Transfer scatterRead(int fd, std::int64_t position, std::span<const std::span<std::uint8_t>> buffers) {
  return vectored(fd, buffers, [&](const iovec* pieces, int count, std::size_t done) {
    return position < 0
               ? ::readv(fd, pieces, count)
               : ::preadv(fd, pieces, count, static_cast<off_t>(position + static_cast<std::int64_t>(done)));
  });
}

}  // namespace

Transfer StreamHandle::readScatter(std::span<const std::span<std::uint8_t>> buffers) {
  return scatterRead(descriptor(handle_), -1, buffers);
}

Transfer StreamHandle::readScatterAt(std::uint64_t position,
                                     std::span<const std::span<std::uint8_t>> buffers) const {
  if (position > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max() / 2)) return {};
  return scatterRead(descriptor(handle_), static_cast<std::int64_t>(position), buffers);
}

Transfer StreamHandle::writeGather(std::span<const std::span<const std::uint8_t>> buffers) {
  const int fd = descriptor(handle_);
  return vectored(fd, buffers,
                  [&](const iovec* pieces, int count, std::size_t) { return ::writev(fd, pieces, count); });
}

Transfer StreamHandle::write(std::span<const std::uint8_t> buffer) {
  const int fd = descriptor(handle_);
  return transferAll(fd, buffer.size(), [&](std::size_t done, std::size_t want) {
    return ::write(fd, buffer.data() + done, want);
  });
}

std::optional<std::uint64_t> StreamHandle::size() const {
  struct stat info;
  if (handle_ == kNoHandle || ::fstat(descriptor(handle_), &info) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(info.st_size);
}

bool StreamHandle::close() {
  if (handle_ == kNoHandle) return true;
  // Linux releases the descriptor even when close reports an error; retrying
  // could close someone else's.
  return ::close(descriptor(std::exchange(handle_, kNoHandle))) == 0;
}

BufferedFile BufferedFile::open(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) return {};
  const std::string_view m(mode);
  const bool truncate = m == "wb";
  if (m == "rb") {
    const int fd = openRegular(path, O_RDONLY);
    if (fd < 0) return {};
    std::FILE* file = ::fdopen(fd, "rb");
    if (file == nullptr) ::close(fd);
    return BufferedFile(file);
  }
  if (!truncate && m != "r+b") return {};
  // Read-write even for "wb": the sharing lock needs read access, and the
  // truncation must wait until the lock is held.
  const int fd = openRegular(path, O_RDWR | (truncate ? O_CREAT : 0));
  if (fd < 0) return {};
  if (!claimBufferedWriter(fd) || (truncate && ::ftruncate(fd, 0) != 0)) {
    ::close(fd);
    return {};
  }
  std::FILE* file = ::fdopen(fd, mode);
  if (file == nullptr) ::close(fd);
  return BufferedFile(file);
}

bool heldForWritingElsewhere(const char* path) {
  const int fd = openRegular(path, O_RDONLY);
  if (fd < 0) return false;
  struct flock streaming = lockRecord(F_RDLCK, kStreamingByte);
  struct flock buffered = lockRecord(F_WRLCK, kBufferedWriterByte);
  const bool held = (::fcntl(fd, F_OFD_GETLK, &streaming) == 0 && streaming.l_type != F_UNLCK) ||
                    (::fcntl(fd, F_OFD_GETLK, &buffered) == 0 && buffered.l_type != F_UNLCK);
  ::close(fd);
  return held;
}

}  // namespace corvane::platform
