#include "platform/file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <limits>
#include <string_view>
#include <utility>

#include "platform/win32/file_handle.h"

namespace corvane::platform {
namespace {

using win32::FileHandle;

// One ReadFile or WriteFile moves at most this much; larger transfers loop.
constexpr std::size_t kMaxChunkPerCall = std::size_t{1} << 30;

// The sharing rules are the system's own share modes. A streaming handle
// lets others read only, so no second writer gets in and it cannot open
// beside a writer; a buffered handle shares reading and writing, so it is
// refused only by a streaming handle.
constexpr DWORD kStreamingShare = FILE_SHARE_READ;
constexpr DWORD kBufferedShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

HANDLE nativeOf(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
std::intptr_t slotOf(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

// Only files on a disk: a device (NUL, CON, COM1) or a pipe is closed again at
// once. CreateFileA itself never waits for a pipe's other end (a busy pipe
// fails) and refuses a directory without FILE_FLAG_BACKUP_SEMANTICS.
bool isRegular(HANDLE handle) {
  if (GetFileType(handle) != FILE_TYPE_DISK) return false;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return false;
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

FileHandle openRegular(const char* path, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  FileHandle handle(CreateFileA(path, access, share, nullptr, disposition, flags, nullptr));
  if (!handle.valid()) return {};
  if (!isRegular(handle.get())) {
    handle.close();
    SetLastError(ERROR_ACCESS_DENIED);
  }
  return handle;
}

constexpr ULONG kSectorSize = 512;

// Unbuffered transfers are worth keeping only where 512-byte alignment
// suffices; a disk with larger sectors gets the same access through the
// cache. A system that does not say is taken to have 512-byte sectors.
bool sectorAlignmentFits(HANDLE handle) {
  FILE_STORAGE_INFO storage{};
  if (!GetFileInformationByHandleEx(handle, FileStorageInfo, &storage, sizeof storage)) return true;
  return storage.LogicalBytesPerSector == 0 || storage.LogicalBytesPerSector <= kSectorSize;
}

void closeSlot(std::intptr_t& slot) {
  if (slot != -1) CloseHandle(nativeOf(std::exchange(slot, -1)));
}

}  // namespace

void StreamHandle::closeHandles() noexcept {
  closeSlot(positioned_);
  closeSlot(handle_);
}

StreamHandle StreamHandle::open(const char* path) {
  struct Attempt {
    StreamOpenAttempt which;
    DWORD access;
    DWORD disposition;
    DWORD flags;
  };
  static constexpr Attempt kAttempts[] = {
      {StreamOpenAttempt::ReadWriteUnbuffered, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS,
       FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL},
      {StreamOpenAttempt::ReadOnlyUnbuffered, GENERIC_READ, OPEN_EXISTING,
       FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN},
      {StreamOpenAttempt::ReadOnlyBuffered, GENERIC_READ, OPEN_EXISTING, 0},
  };
  StreamHandle handle;
  if (path == nullptr) return handle;
  for (const Attempt& attempt : kAttempts) {
    DWORD flags = attempt.flags;
    FileHandle file = openRegular(path, attempt.access, kStreamingShare, attempt.disposition, flags);
    if (!file.valid()) continue;
    if ((flags & FILE_FLAG_NO_BUFFERING) != 0 && !sectorAlignmentFits(file.get())) {
      file.close();
      flags &= ~FILE_FLAG_NO_BUFFERING;
      file = openRegular(path, attempt.access, kStreamingShare, attempt.disposition, flags);
      if (!file.valid()) continue;
    }
    // Positioned reads on a handle for synchronous I/O move its file
    // pointer, which the owner's transfers rely on. They go through a second
    // handle to the same file instead: read-only, and sharing writing with
    // this one (which already keeps other writers out). ReOpenFile takes
    // the FILE_FLAG_ bits only, no attributes.
    constexpr DWORD kAttributeBits = 0x000F'FFFF;
    FileHandle positioned(ReOpenFile(file.get(), GENERIC_READ, kBufferedShare, flags & ~kAttributeBits));
    if (!positioned.valid()) continue;
    handle.handle_ = slotOf(file.release());
    handle.positioned_ = slotOf(positioned.release());
    handle.attempt_ = attempt.which;
    handle.unbuffered_ = (flags & FILE_FLAG_NO_BUFFERING) != 0;
    break;
  }
  return handle;
}

bool StreamHandle::seek(std::uint64_t position) {
  if (handle_ == kNoHandle) return false;
  ++seekCount_;
  // Positions past the largest signed 64-bit offset are refused.
  if (position > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return false;
  LONG high = static_cast<LONG>(position >> 32);
  SetLastError(NO_ERROR);
  const DWORD low =
      SetFilePointer(nativeOf(handle_), static_cast<LONG>(position & 0xFFFF'FFFFu), &high, FILE_BEGIN);
  return low != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR;
}

namespace {

// Moves size bytes with call(done, want, moved) -> success, one call at a
// time, stopping at the end of the file.
template <class Call>
Transfer transferAll(std::intptr_t handle, std::size_t size, Call call) {
  Transfer result;
  if (handle == -1) return result;
  result.ok = true;
  while (result.count < size) {
    DWORD moved = 0;
    const auto want = static_cast<DWORD>(std::min(size - result.count, kMaxChunkPerCall));
    if (!call(result.count, want, moved)) {
      result.ok = false;
      break;
    }
    if (moved == 0) break;  // end of file
    result.count += moved;
  }
  return result;
}

Transfer readInto(std::intptr_t handle, std::span<std::uint8_t> buffer) {
  return transferAll(handle, buffer.size(), [&](std::size_t done, DWORD want, DWORD& moved) {
    return ReadFile(nativeOf(handle), buffer.data() + done, want, &moved, nullptr) != 0;
  });
}

Transfer writeFrom(std::intptr_t handle, std::span<const std::uint8_t> buffer) {
  return transferAll(handle, buffer.size(), [&](std::size_t done, DWORD want, DWORD& moved) {
    return WriteFile(nativeOf(handle), buffer.data() + done, want, &moved, nullptr) != 0;
  });
}

// Several buffers in turn as consecutive transfers: the system's scatter and
// gather calls want page-sized pieces and overlapped handles, which frame
// buffers and this handle are not. A transfer that stops short (the end of
// the file) ends the whole request there, as one request would.
template <class Byte, class Move>
Transfer consecutive(std::intptr_t handle, std::span<const std::span<Byte>> buffers, Move move) {
  Transfer result;
  if (handle == -1 || buffers.size() > StreamHandle::kMaxScatterBuffers) return result;
  result.ok = true;
  for (const std::span<Byte>& buffer : buffers) {
    const Transfer part = move(buffer);
    result.count += part.count;
    if (!part.ok) {
      result.ok = false;
      break;
    }
    if (part.count < buffer.size()) break;
  }
  return result;
}

}  // namespace

Transfer StreamHandle::read(std::span<std::uint8_t> buffer) { return readInto(handle_, buffer); }

Transfer StreamHandle::readScatter(std::span<const std::span<std::uint8_t>> buffers) {
  return consecutive(handle_, buffers,
                     [&](std::span<std::uint8_t> buffer) { return readInto(handle_, buffer); });
}

Transfer StreamHandle::readScatterAt(std::uint64_t position,
                                     std::span<const std::span<std::uint8_t>> buffers) const {
  if (position > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max() / 2)) return {};
  std::uint64_t next = position;
  // Each ReadFile names its offset through the OVERLAPPED record; on this
  // handle of its own, the pointer it moves is nobody else's.
  return consecutive(positioned_, buffers, [&](std::span<std::uint8_t> buffer) {
    const Transfer part =
        transferAll(positioned_, buffer.size(), [&](std::size_t done, DWORD want, DWORD& moved) {
          OVERLAPPED where{};
          const std::uint64_t offset = next + done;
          where.Offset = static_cast<DWORD>(offset & 0xFFFF'FFFFu);
          where.OffsetHigh = static_cast<DWORD>(offset >> 32);
          if (ReadFile(nativeOf(positioned_), buffer.data() + done, want, &moved, &where)) return true;
          // A positioned read at or past the end reports that instead of 0 bytes.
          moved = 0;
          return GetLastError() == ERROR_HANDLE_EOF;
        });
    next += part.count;
    return part;
  });
}

Transfer StreamHandle::write(std::span<const std::uint8_t> buffer) { return writeFrom(handle_, buffer); }

Transfer StreamHandle::writeGather(std::span<const std::span<const std::uint8_t>> buffers) {
  return consecutive(handle_, buffers,
                     [&](std::span<const std::uint8_t> buffer) { return writeFrom(handle_, buffer); });
}

std::optional<std::uint64_t> StreamHandle::size() const {
  if (handle_ == kNoHandle) return std::nullopt;
  DWORD high = 0;
  SetLastError(NO_ERROR);
  const DWORD low = GetFileSize(nativeOf(handle_), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return std::nullopt;
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

bool StreamHandle::close() {
  if (handle_ == kNoHandle) return true;
  const bool positionedClosed = positioned_ == kNoHandle || CloseHandle(nativeOf(positioned_)) != 0;
  positioned_ = kNoHandle;
  // The handle is gone even when CloseHandle reports a failure.
  const bool closed = CloseHandle(nativeOf(std::exchange(handle_, kNoHandle))) != 0;
  return closed && positionedClosed;
}

BufferedFile BufferedFile::open(const char* path, const char* mode) {
  if (path == nullptr || mode == nullptr) return {};
  const std::string_view m(mode);
  const bool reading = m == "rb";
  const bool truncate = m == "wb";
  if (!reading && !truncate && m != "r+b") return {};
  // "wb" opens without truncating and cuts the file only once the open has
  // got past the share modes: a refused open truncates nothing.
  FileHandle handle = openRegular(
      path, reading ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE, kBufferedShare | FILE_SHARE_DELETE,
      reading ? OPEN_EXISTING : (truncate ? OPEN_ALWAYS : OPEN_EXISTING), FILE_ATTRIBUTE_NORMAL);
  if (!handle.valid()) return {};
  if (truncate && !SetEndOfFile(handle.get())) return {};
  const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle.get()),
                                 (reading ? _O_RDONLY : _O_RDWR) | _O_BINARY);
  if (fd == -1) return {};
  handle.release();  // the descriptor owns it now
  std::FILE* file = _fdopen(fd, mode);
  if (file == nullptr) _close(fd);
  return BufferedFile(file);
}

bool heldForWritingElsewhere(const char* path) {
  if (path == nullptr) return false;
  // A reader that lets others only read is refused exactly when some handle
  // has write access.
  FileHandle probe(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
  if (probe.valid()) return false;
  return GetLastError() == ERROR_SHARING_VIOLATION;
}

}  // namespace corvane::platform
