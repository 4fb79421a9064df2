#include "platform/file_status.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace corvane::platform {

FileStatus fileStatus(const std::string& path) {
  struct stat info;
  FileStatus status;
  if (::stat(path.c_str(), &info) != 0) {
    status.error = errno;
    status.kind = errno == ENOENT ? FileKind::Missing : FileKind::Unreadable;
    return status;
  }
  status.size = static_cast<std::uint64_t>(info.st_size);
  status.device = static_cast<std::uint64_t>(info.st_dev);
  status.inode = static_cast<std::uint64_t>(info.st_ino);
  if (S_ISREG(info.st_mode))
    status.kind = FileKind::Regular;
  else if (S_ISDIR(info.st_mode))
    status.kind = FileKind::Directory;
  else if (S_ISFIFO(info.st_mode))
    status.kind = FileKind::Fifo;
  else if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
    status.kind = FileKind::Device;
  else if (S_ISSOCK(info.st_mode))
    status.kind = FileKind::Socket;
  else
    status.kind = FileKind::Other;
  return status;
}

bool isSymbolicLink(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool sameFile(const std::string& a, const std::string& b) {
  const FileStatus first = fileStatus(a);
  const FileStatus second = fileStatus(b);
  return first.error == 0 && second.error == 0 && first.kind != FileKind::Missing &&
         first.device == second.device && first.inode == second.inode;
}

std::optional<int> accessError(const std::string& path, char mode) {
  if (::access(path.c_str(), mode == 'w' ? W_OK : R_OK) == 0) return std::nullopt;
  return errno;
}

std::string errorText(int error) { return std::strerror(error); }

std::FILE* createUniqueFile(const std::string& prefix, const std::string& suffix, std::string& path) {
  std::string name = prefix + "XXXXXX" + suffix;
  std::vector<char> buffer(name.begin(), name.end());
  buffer.push_back('\0');
  const int fd = ::mkstemps(buffer.data(), static_cast<int>(suffix.size()));
  if (fd < 0) return nullptr;
  // mkstemps makes the file private; the finished output gets the
  // permissions any new file of this user gets.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  std::FILE* file = ::fdopen(fd, "wb");
  if (file == nullptr) {
    const int error = errno;
    ::close(fd);
    ::unlink(buffer.data());
    errno = error;
    return nullptr;
  }
  path.assign(buffer.data());
  return file;
}

std::optional<std::string> createUniqueDirectory(const std::string& prefix) {
  std::string name = prefix + "XXXXXX";
  std::vector<char> buffer(name.begin(), name.end());
  buffer.push_back('\0');
  if (::mkdtemp(buffer.data()) == nullptr) return std::nullopt;
  return std::string(buffer.data());
}

int currentProcessId() { return static_cast<int>(::getpid()); }

int parentProcessId() { return static_cast<int>(::getppid()); }

bool processExists(int processId) { return processId > 0 && (::kill(processId, 0) == 0 || errno != ESRCH); }

bool isTerminal(std::FILE* file) { return ::isatty(::fileno(file)) == 1; }

}  // namespace corvane::platform
