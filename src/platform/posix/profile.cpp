#include "platform/profile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <system_error>
#include <utility>

#include "platform/environment.h"
#include "platform/posix/unique_fd.h"
#include "platform/profile_store.h"
#include "platform/profile_text.h"

namespace corvane::platform {
namespace {

using posix::UniqueFd;
using profile_store::isStaleTemporaryName;
using profile_store::reportOnce;
using profile_store::sizeRefusal;

constexpr mode_t kNewFileMode = 0644;
constexpr mode_t kNewDirMode = 0755;
constexpr int kMaxLinkHops = 40;  // as the kernel's own limit for a path

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

enum class ReadStatus { Ok, Missing, Refused, Failed };

// Why the file behind st is not one we read or write, or empty.
std::string refusalOf(const std::string& path, const struct stat& st) {
  if (!S_ISREG(st.st_mode)) return path + " is not a regular file";
  if (static_cast<std::uintmax_t>(st.st_size) > kMaxProfileBytes) return sizeRefusal(path);
  return {};
}

// Reads the whole file. O_NONBLOCK: a FIFO put in the file's place must not
// hold the load until some writer opens it; it is refused like any file that
// is not regular, and so is a file that grows past the limit while read.
ReadStatus readWholeFile(const std::string& path, std::string& text, std::string& refusal) {
  text.clear();
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (!fd.valid()) return errno == ENOENT ? ReadStatus::Missing : ReadStatus::Failed;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return ReadStatus::Failed;
  refusal = refusalOf(path, st);
  if (!refusal.empty()) return ReadStatus::Refused;
  char buffer[8192];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      return ReadStatus::Failed;
    }
    if (n == 0) return ReadStatus::Ok;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > kMaxProfileBytes) {
      refusal = sizeRefusal(path);
      return ReadStatus::Refused;
    }
  }
}

std::string systemReason(int error) { return std::generic_category().message(error); }

// The file a save must change: path with every symbolic link of its last
// component followed, so a link (into a dotfiles folder, say) keeps pointing
// at the settings instead of being replaced by a copy. A target that does not
// exist yet is where the file will be created.
bool resolveLinks(const std::string& path, std::string& target) {
  target = path;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISLNK(st.st_mode)) return true;
    std::string link(static_cast<std::size_t>(st.st_size) + 1, '\0');
    const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
    if (n < 0) return false;
    link.resize(static_cast<std::size_t>(n));
    target = link.starts_with('/') ? link : directoryOf(target) + "/" + link;
  }
  errno = ELOOP;
  return false;
}

// Side files of a settings file live beside it, hidden, named after it.
std::string sideFilePrefix(const std::string& target) {
  return directoryOf(target) + "/." + baseNameOf(target) + ".";
}

constexpr std::string_view kTemporarySuffix = "XXXXXX";  // mkostemp's letters and digits

// An exclusive flock that every save of the file holds. It is taken on a lock
// file beside the settings file, because saves replace the file itself. In a
// folder where that lock file cannot be made, the settings file is locked
// instead: saves there are written in place, so its inode stays.
class ProfileLock {
 public:
  enum class Wait : std::uint8_t { Block, Try };

  ProfileLock(const std::string& target, Wait wait) {
    const std::string lockPath = sideFilePrefix(target) + "lock";
    fd_ = UniqueFd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, kNewFileMode));
    const int createError = errno;
    if (!fd_.valid()) fd_ = UniqueFd(::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd_.valid()) fd_ = UniqueFd(::open(target.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd_.valid()) {
      error_ = createError;
      return;
    }
    const int operation = wait == Wait::Block ? LOCK_EX : LOCK_EX | LOCK_NB;
    while (::flock(fd_.get(), operation) != 0) {
      if (errno != EINTR) {
        error_ = errno;
        fd_.reset();
        return;
      }
    }
  }
  bool held() const { return fd_.valid(); }
  int error() const { return error_; }

 private:
  UniqueFd fd_;  // closing it releases the lock
  int error_ = 0;
};

// Removes the temporaries that saves of this file killed before their rename
// left behind. Only under the save lock: then no save is running, so every
// temporary of the file is stale.
void removeStaleTemporaries(const std::string& target) {
  const std::string dir = directoryOf(target);
  const std::string prefix = "." + baseNameOf(target) + ".";
  std::unique_ptr<DIR, int (*)(DIR*)> listing(::opendir(dir.c_str()), ::closedir);
  if (!listing) return;
  while (const dirent* entry = ::readdir(listing.get())) {
    if (isStaleTemporaryName(entry->d_name, prefix))
      (void)::unlinkat(::dirfd(listing.get()), entry->d_name, 0);
  }
}

// A read does not wait for a running save: it leaves the sweep to a later
// access then.
void sweepBeforeRead(const std::string& target) {
  if (!isDirectory(directoryOf(target))) return;
  ProfileLock lock(target, ProfileLock::Wait::Try);
  if (lock.held()) removeStaleTemporaries(target);
}

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

void syncDirectory(const std::string& dir) {
  UniqueFd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.valid()) ::fsync(fd.get());  // best effort: the rename already happened
}

enum class Replace : std::uint8_t { Done, NoTemporary, Failed };

// Atomic: a crash leaves the old file or the new one, never a mix.
Replace replaceFile(const std::string& target, mode_t mode, const std::string& text) {
  TemporaryFile temp(sideFilePrefix(target) + std::string(kTemporarySuffix));
  if (!temp.valid()) return Replace::NoTemporary;
  if (::fchmod(temp.fd(), mode) != 0 || !posix::writeAll(temp.fd(), text.data(), text.size()) ||
      ::fsync(temp.fd()) != 0 || !temp.close() || !temp.renameTo(target)) {
    return Replace::Failed;
  }
  syncDirectory(directoryOf(target));
  return Replace::Done;
}

// For a file in a folder we may not create files in, as the native calls
// always write. The new text goes out in one write from the start, padded with
// blank lines to the old length, and only then is the file cut: a crash in
// between leaves the new settings followed by blank lines, which read the
// same, instead of the tail of the old text.
bool rewriteInPlace(const std::string& target, const std::string& old, const std::string& text) {
  UniqueFd fd(::open(target.c_str(), O_WRONLY | O_CLOEXEC));
  if (!fd.valid()) return false;
  std::string padded = text;
  if (old.size() > text.size()) padded.append(old.size() - text.size(), '\n');
  return posix::writeAll(fd.get(), padded.data(), padded.size()) &&
         ::ftruncate(fd.get(), static_cast<off_t>(text.size())) == 0 && ::fsync(fd.get()) == 0 && fd.close();
}

// errno-style reason why the file must not be written, or 0. A file without
// any write bit is read-only for everyone, root included, as the native
// read-only attribute is.
int writeRefusal(const std::string& target, const struct stat& st) {
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return EACCES;
  return ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) == 0 ? 0 : errno;
}

}  // namespace

namespace profile_store {

bool saveEntries(const std::string& path, std::string_view section, std::span<const ProfileEntry> entries,
                 std::string& reason) {
  const auto failWith = [&reason](int error) {
    reason = systemReason(error);
    return false;
  };
  std::string target;
  if (!resolveLinks(path, target)) return failWith(errno);
  if (!makeDirectories(directoryOf(target))) return failWith(errno);

  struct stat st {};
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return failWith(errno);
  if (exists) {
    if (reason = refusalOf(target, st); !reason.empty()) return false;
    if (const int refusal = writeRefusal(target, st); refusal != 0) return failWith(refusal);
  }

  ProfileLock lock(target, ProfileLock::Wait::Block);
  if (!lock.held()) return failWith(lock.error());
  removeStaleTemporaries(target);

  std::string text;
  switch (readWholeFile(target, text, reason)) {
    case ReadStatus::Ok:
    case ReadStatus::Missing:
      break;
    case ReadStatus::Refused:
      return false;
    case ReadStatus::Failed:
      return failWith(errno);
  }
  std::string updated = text;
  for (const ProfileEntry& entry : entries)
    updated = profile_text::withProfileValue(updated, section, entry.key, entry.value);
  if (updated == text) return true;
  switch (replaceFile(target, exists ? (st.st_mode & 07777) : kNewFileMode, updated)) {
    case Replace::Done:
      return true;
    case Replace::NoTemporary:
      if (exists && (errno == EACCES || errno == EPERM)) {
        return rewriteInPlace(target, text, updated) || failWith(errno);
      }
      return failWith(errno);
    case Replace::Failed:
      break;
  }
  return failWith(errno);
}

std::string readForLookup(const std::string& path) {
  std::string text, refusal;
  const ReadStatus status = readWholeFile(path, text, refusal);
  if (status == ReadStatus::Refused) {
    reportOnce("settings file " + refusal + ": the defaults are used and nothing is saved");
    return {};
  }
  // Only beside a settings file that is ours: a link to /dev/zero must not
  // leave a lock file in /dev.
  if (status == ReadStatus::Ok || status == ReadStatus::Missing) {
    if (std::string target; resolveLinks(path, target)) sweepBeforeRead(target);
  }
  return status == ReadStatus::Ok ? text : std::string();
}

}  // namespace profile_store

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

std::optional<std::string> profileRefusal(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  if (std::string refusal = refusalOf(path, st); !refusal.empty()) return refusal;
  return std::nullopt;
}

}  // namespace corvane::platform
