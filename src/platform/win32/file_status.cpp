#include "platform/file_status.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>
// The process snapshot's declarations need windows.h before them.
#include <tlhelp32.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "platform/win32/file_handle.h"

namespace corvane::platform {
namespace {

using win32::FileHandle;

// A handle that reads nothing, which any file or directory gives however it
// is shared (FILE_FLAG_BACKUP_SEMANTICS lets directories open).
FileHandle openForQuery(const std::string& path) {
  return FileHandle(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

constexpr char kNameLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

std::string randomLetters() {
  static thread_local std::mt19937 generator{std::random_device{}() ^ GetCurrentProcessId() ^ GetTickCount()};
  std::uniform_int_distribution<std::size_t> pick(0, sizeof kNameLetters - 2);
  std::string letters(6, 'a');
  for (char& c : letters) c = kNameLetters[pick(generator)];
  return letters;
}

constexpr int kNameTries = 100;

}  // namespace

FileStatus fileStatus(const std::string& path) {
  FileStatus status;
  FileHandle handle = openForQuery(path);
  if (!handle.valid()) {
    status.error = win32::errnoOf(GetLastError());
    status.kind = status.error == ENOENT ? FileKind::Missing : FileKind::Unreadable;
    return status;
  }
  switch (GetFileType(handle.get())) {
    case FILE_TYPE_CHAR:
      status.kind = FileKind::Device;
      return status;
    case FILE_TYPE_PIPE:
      status.kind = FileKind::Fifo;
      return status;
    case FILE_TYPE_DISK:
      break;
    default:
      status.kind = FileKind::Other;
      return status;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle.get(), &info)) {
    status.error = win32::errnoOf(GetLastError());
    status.kind = FileKind::Unreadable;
    return status;
  }
  // The volume's serial number and the file's index name one file as st_dev
  // and st_ino do.
  status.device = info.dwVolumeSerialNumber;
  status.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    status.kind = FileKind::Directory;
  } else {
    status.kind = FileKind::Regular;
    status.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  }
  return status;
}

bool isSymbolicLink(const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         found.dwReserved0 == IO_REPARSE_TAG_SYMLINK;
}

bool sameFile(const std::string& a, const std::string& b) {
  const FileStatus first = fileStatus(a);
  const FileStatus second = fileStatus(b);
  // Only files on a volume have an identity to compare; devices and pipes
  // report none.
  const bool identified = first.kind == FileKind::Regular || first.kind == FileKind::Directory;
  return first.error == 0 && second.error == 0 && identified && first.kind == second.kind &&
         first.device == second.device && first.inode == second.inode;
}

std::optional<int> accessError(const std::string& path, char mode) {
  // The access the open would ask for, under the share modes the plug-in's
  // own readers and writers use, so a file held by them is not a refusal.
  const DWORD access = mode == 'w' ? GENERIC_WRITE : GENERIC_READ;
  FileHandle handle(CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (handle.valid()) return std::nullopt;
  const DWORD error = GetLastError();
  // Somebody else's share mode is no lack of permission.
  if (error == ERROR_SHARING_VIOLATION) return std::nullopt;
  return win32::errnoOf(error);
}

std::string errorText(int error) { return std::strerror(error); }

std::FILE* createUniqueFile(const std::string& prefix, const std::string& suffix, std::string& path) {
  for (int attempt = 0; attempt < kNameTries; ++attempt) {
    const std::string name = prefix + randomLetters() + suffix;
    FileHandle handle(CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!handle.valid()) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      errno = win32::errnoOf(error);
      return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle.get()), _O_RDWR | _O_BINARY);
    std::FILE* file = nullptr;
    if (fd != -1) {
      handle.release();
      file = _fdopen(fd, "wb");
      if (file == nullptr) _close(fd);
    }
    if (file == nullptr) {
      handle.close();
      DeleteFileA(name.c_str());
      errno = EMFILE;
      return nullptr;
    }
    path = name;
    return file;
  }
  errno = EEXIST;
  return nullptr;
}

std::optional<std::string> createUniqueDirectory(const std::string& prefix) {
  // The default security of a new folder under the user's own folders is
  // already private to the user.
  for (int attempt = 0; attempt < kNameTries; ++attempt) {
    std::string name = prefix + randomLetters();
    if (CreateDirectoryA(name.c_str(), nullptr)) return name;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return std::nullopt;
  }
  return std::nullopt;
}

int currentProcessId() { return static_cast<int>(GetCurrentProcessId()); }

namespace {

std::uint64_t creationTime(HANDLE process) {
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(process, &created, &exited, &kernel, &user)) return 0;
  return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

}  // namespace

// Windows records the parent's id at creation and never changes it, and a
// later process may get that id again. So the recorded parent counts only
// while it runs and is older than this process; after that the answer is 0,
// no process, which differs from the parent as a reaper's id would.
int parentProcessId() {
  FileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.valid()) return 0;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  const DWORD self = GetCurrentProcessId();
  DWORD parent = 0;
  for (BOOL more = Process32First(snapshot.get(), &entry); more;
       more = Process32Next(snapshot.get(), &entry)) {
    if (entry.th32ProcessID == self) {
      parent = entry.th32ParentProcessID;
      break;
    }
  }
  if (parent == 0) return 0;
  FileHandle process(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, parent));
  if (!process.valid()) return GetLastError() == ERROR_ACCESS_DENIED ? static_cast<int>(parent) : 0;
  if (WaitForSingleObject(process.get(), 0) != WAIT_TIMEOUT) return 0;
  const std::uint64_t parentStart = creationTime(process.get());
  const std::uint64_t ownStart = creationTime(GetCurrentProcess());
  if (parentStart != 0 && ownStart != 0 && parentStart > ownStart) return 0;
  return static_cast<int>(parent);
}

bool processExists(int processId) {
  if (processId <= 0) return false;
  FileHandle process(
      OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(processId)));
  // Somebody else's process that we may not open still exists.
  if (!process.valid()) return GetLastError() == ERROR_ACCESS_DENIED;
  // A process that has ended but whose handles are still held by others.
  return WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

// A console: the handle behind the stream answers console calls. The NUL
// device is a character device too, but no console.
bool isTerminal(std::FILE* file) {
  if (file == nullptr) return false;
  const std::intptr_t handle = _get_osfhandle(_fileno(file));
  DWORD consoleMode = 0;
  return handle != -1 && GetConsoleMode(reinterpret_cast<HANDLE>(handle), &consoleMode) != 0;
}

}  // namespace corvane::platform
