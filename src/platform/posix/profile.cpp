#include "platform/profile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "platform/environment.h"
#include "platform/posix/profile_text.h"
#include "platform/posix/unique_fd.h"

namespace corvane::platform {
namespace {

using posix::UniqueFd;

constexpr mode_t kNewFileMode = 0644;
constexpr mode_t kNewDirMode = 0755;

std::string nonEmptyEnvironment(const char* name) {
  auto value = environmentValue(name);
  return value ? *value : std::string();
}

std::string directoryOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// mkdir -p: each missing component in turn; another process creating one at
// the same moment is fine.
bool makeDirectories(const std::string& dir) {
  if (isDirectory(dir)) return true;
  for (std::size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos != dir.size() && dir[pos] != '/') continue;
    const std::string prefix = dir.substr(0, pos);
    if (::mkdir(prefix.c_str(), kNewDirMode) != 0 && errno != EEXIST) return false;
  }
  return isDirectory(dir);
}

enum class ReadStatus { Ok, Missing, Failed };

ReadStatus readWholeFile(const std::string& path, std::string& text) {
  text.clear();
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) return errno == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return ReadStatus::Failed;
    }
    if (n == 0) return ReadStatus::Ok;
    text.append(buffer, static_cast<std::size_t>(n));
  }
}

// Holds an exclusive flock on the profile's lock file for its lifetime. The
// lock file is separate from the profile because the profile itself is
// replaced by rename at every write.
class ProfileWriteLock {
 public:
  explicit ProfileWriteLock(const std::string& lockPath)
      : fd_(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kNewFileMode)) {
    if (!fd_.valid()) return;
    while (::flock(fd_.get(), LOCK_EX) != 0) {
      if (errno != EINTR) {
        fd_.reset();
        return;
      }
    }
  }
  bool held() const { return fd_.valid(); }

 private:
  UniqueFd fd_;  // closing it releases the lock
};

// Removes the temporary file unless it was renamed into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string pattern) : path_(std::move(pattern)) {
    fd_ = UniqueFd(::mkostemp(path_.data(), O_CLOEXEC));
    if (!fd_.valid()) path_.clear();
  }
  ~TemporaryFile() {
    fd_.reset();
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  bool valid() const { return fd_.valid(); }
  int fd() const { return fd_.get(); }
  bool close() { return fd_.close(); }
  bool renameTo(const std::string& target) {
    if (::rename(path_.c_str(), target.c_str()) != 0) return false;
    path_.clear();
    return true;
  }

 private:
  std::string path_;
  UniqueFd fd_;
};

mode_t modeFor(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return st.st_mode & 07777;
  return kNewFileMode;
}

void syncDirectory(const std::string& dir) {
  UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) ::fsync(fd.get());  // best effort: the rename already happened
}

bool replaceFile(const std::string& path, const std::string& dir, const std::string& text) {
  TemporaryFile temp(dir + "/." + baseNameOf(path) + ".XXXXXX");
  if (!temp.valid()) return false;
  if (::fchmod(temp.fd(), modeFor(path)) != 0) return false;
  if (!posix::writeAll(temp.fd(), text.data(), text.size())) return false;
  if (::fsync(temp.fd()) != 0) return false;
  if (!temp.close()) return false;
  if (!temp.renameTo(path)) return false;
  syncDirectory(dir);
  return true;
}

}  // namespace

std::string profileDirectory() {
  if (auto dir = nonEmptyEnvironment("CORVANE_CONFIG_DIR"); !dir.empty()) return dir;
  if (auto xdg = nonEmptyEnvironment("XDG_CONFIG_HOME"); !xdg.empty()) return xdg + "/corvane";
  if (auto home = nonEmptyEnvironment("HOME"); !home.empty()) return home + "/.config/corvane";
  return ".config/corvane";
}

std::string profilePath(std::string_view fileName) {
  // A name with a directory in it is taken as a path, as the native calls do.
  if (fileName.find('/') != std::string_view::npos) return std::string(fileName);
  return profileDirectory() + "/" + std::string(fileName);
}

std::optional<std::string> readProfileValue(const std::string& path, std::string_view section,
                                            std::string_view key) {
  std::string text;
  if (readWholeFile(path, text) != ReadStatus::Ok) return std::nullopt;
  return posix::findProfileValue(text, section, key);
}

bool writeProfileValue(const std::string& path, std::string_view section, std::string_view key,
                       std::string_view value) {
  if (path.empty() || !posix::isStorableProfileEntry(section, key, value)) return false;
  const std::string dir = directoryOf(path);
  if (!makeDirectories(dir)) return false;

  ProfileWriteLock lock(dir + "/." + baseNameOf(path) + ".lock");
  if (!lock.held()) return false;

  std::string text;
  if (readWholeFile(path, text) == ReadStatus::Failed) return false;
  const std::string updated = posix::withProfileValue(text, section, key, value);
  if (updated == text) return true;
  return replaceFile(path, dir, updated);
}

}  // namespace corvane::platform
