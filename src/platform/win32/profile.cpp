#include "platform/profile.h"

#include <windows.h>

#include <cstdint>
#include <random>
#include <utility>

#include "platform/environment.h"
#include "platform/profile_store.h"
#include "platform/profile_text.h"
#include "platform/win32/file_handle.h"

// The system's private-profile calls are not used for the files themselves:
// they rewrite a file in place (a crash tears it), read through a FIFO or a
// device as readily as through a file, know no size limit, and format the
// lines they write their own way, while a settings file must read and write
// byte for byte as the other builds do. So the files are read and replaced
// here, with the text logic every build shares; only the place of a bare
// file name (the Windows directory) is theirs.

namespace corvane::platform {
namespace {

using profile_store::isStaleTemporaryName;
using profile_store::reportOnce;
using profile_store::sizeRefusal;
using win32::FileHandle;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Save locks take this byte: far beyond any data, so that a lock on the
// settings file itself never stands in the way of writing it.
constexpr DWORD kLockOffsetHigh = 0x7FFF'FFFF;

std::string nonEmptyEnvironment(const char* name) {
  auto value = environmentValue(name);
  return value ? *value : std::string();
}

bool isSeparator(char c) { return c == '\\' || c == '/'; }

std::string directoryOf(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return ".";
  if (slash == 0 || (slash == 2 && path[1] == ':')) return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

std::string baseNameOf(const std::string& path) {
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string joined(const std::string& dir, const std::string& name) {
  if (!dir.empty() && isSeparator(dir.back())) return dir + name;
  return dir + "\\" + name;
}

DWORD attributesOf(const std::string& path) { return GetFileAttributesA(path.c_str()); }

bool isDirectory(const std::string& path) {
  const DWORD attributes = attributesOf(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool isMissingError(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// Each missing folder in turn; another process creating one at the same
// moment is fine. The last error is the system's when it fails.
bool makeDirectories(const std::string& dir) {
  if (isDirectory(dir)) return true;
  for (std::size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos != dir.size() && !isSeparator(dir[pos])) continue;
    const std::string prefix = dir.substr(0, pos);
    if (prefix.back() == ':' || isDirectory(prefix)) continue;  // a drive
    if (!CreateDirectoryA(prefix.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return isDirectory(dir);
}

enum class ReadStatus : std::uint8_t { Ok, Missing, Refused, Failed };

constexpr const char* kNotRegular = " is not a regular file";

// Why the open file is not one we read or write, or empty.
std::string refusalOf(const std::string& path, HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return path + kNotRegular;
  const std::uint64_t size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  if (size > kMaxProfileBytes) return sizeRefusal(path);
  return {};
}

// Opens the file for reading without keeping anyone else from replacing it.
// A folder opens too (as itself, to be refused like a device or a pipe).
FileHandle openForReading(const std::string& path) {
  return FileHandle(CreateFileA(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

// Reads the whole file; one that is not a disk file, or grows past the limit
// while read, is refused. On Failed, the last error says why.
ReadStatus readWholeFile(const std::string& path, std::string& text, std::string& refusal) {
  text.clear();
  FileHandle file = openForReading(path);
  if (!file.valid()) return isMissingError(GetLastError()) ? ReadStatus::Missing : ReadStatus::Failed;
  refusal = refusalOf(path, file.get());
  if (!refusal.empty()) return ReadStatus::Refused;
  char buffer[8192];
  for (;;) {
    DWORD n = 0;
    if (!ReadFile(file.get(), buffer, sizeof buffer, &n, nullptr)) return ReadStatus::Failed;
    if (n == 0) return ReadStatus::Ok;
    text.append(buffer, n);
    if (text.size() > kMaxProfileBytes) {
      refusal = sizeRefusal(path);
      return ReadStatus::Refused;
    }
  }
}

// The file a save must change: path with a symbolic link followed, so a
// link keeps pointing at the settings instead of being replaced by a copy. A
// missing file (or a link to one) is written where path says. Every existing
// file is asked, not only those marked as reparse points: links of the file
// system underneath (Wine's host links) carry no such mark.
std::string resolveLinks(const std::string& path) {
  const DWORD attributes = attributesOf(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return path;
  FileHandle file(
      CreateFileA(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file.valid()) return path;
  std::string target = win32::finalPathOf(file.get());
  return target.empty() ? path : target;
}

// Side files of a settings file live beside it, named after it.
std::string sidePrefixName(const std::string& target) { return "." + baseNameOf(target) + "."; }
std::string sideFilePrefix(const std::string& target) {
  return joined(directoryOf(target), sidePrefixName(target));
}

// An exclusive lock that every save of the file holds, on a lock file beside
// the settings file, because saves replace the file itself. In a folder where
// that lock file cannot be made, the settings file is locked instead: saves
// there are written in place, so the file stays.
class ProfileLock {
 public:
  enum class Wait : std::uint8_t { Block, Try };

  ProfileLock(const std::string& target, Wait wait) {
    const std::string lockPath = sideFilePrefix(target) + "lock";
    file_ = FileHandle(CreateFileA(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                   OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr));
    const DWORD createError = GetLastError();
    if (!file_.valid())
      file_ = FileHandle(
          CreateFileA(lockPath.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
    if (!file_.valid()) file_ = openForReading(target);
    if (!file_.valid()) {
      error_ = createError;
      return;
    }
    OVERLAPPED where{};
    where.OffsetHigh = kLockOffsetHigh;
    const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait == Wait::Try ? LOCKFILE_FAIL_IMMEDIATELY : 0);
    if (!LockFileEx(file_.get(), flags, 0, 1, 0, &where)) {
      error_ = GetLastError();
      file_.close();
    }
  }
  bool held() const { return file_.valid(); }
  DWORD error() const { return error_; }

 private:
  FileHandle file_;  // closing it releases the lock
  DWORD error_ = ERROR_SUCCESS;
};

// Removes the temporaries that saves of this file killed before their rename
// left behind. Only under the save lock: then no save is running, so every
// temporary of the file is stale.
void removeStaleTemporaries(const std::string& target) {
  const std::string dir = directoryOf(target);
  const std::string prefix = sidePrefixName(target);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(joined(dir, prefix + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (isStaleTemporaryName(found.cFileName, prefix)) DeleteFileA(joined(dir, found.cFileName).c_str());
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

// A read does not wait for a running save: it leaves the sweep to a later
// access then.
void sweepBeforeRead(const std::string& target) {
  if (!isDirectory(directoryOf(target))) return;
  ProfileLock lock(target, ProfileLock::Wait::Try);
  if (lock.held()) removeStaleTemporaries(target);
}

constexpr DWORD kMaxRenamePauseMs = 256;  // about half a second in all

bool isHeldOpenError(DWORD error) { return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION; }

constexpr char kNameLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";

// Removes the temporary file unless it was renamed into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(const std::string& prefix) {
    static thread_local std::mt19937 generator{std::random_device{}() ^ GetCurrentProcessId()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kNameLetters - 2);
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = prefix;
      for (std::size_t i = 0; i < profile_store::kTemporaryLetters; ++i)
        name += kNameLetters[pick(generator)];
      file_ = FileHandle(
          CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
      if (file_.valid()) {
        path_ = std::move(name);
        return;
      }
      if (GetLastError() != ERROR_FILE_EXISTS) return;
    }
  }
  ~TemporaryFile() {
    const DWORD error = GetLastError();  // the caller's reason for giving up
    file_.close();
    if (!path_.empty()) DeleteFileA(path_.c_str());
    SetLastError(error);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  bool valid() const { return file_.valid(); }
  HANDLE get() const { return file_.get(); }
  bool close() { return file_.close(); }
  // A file that some reader has open cannot be replaced, even when the
  // reader shares deletion; readers hold it for a moment only, so the rename
  // is tried again for a while before it counts as refused.
  bool renameTo(const std::string& target) {
    for (DWORD pause = 1;; pause *= 2) {
      if (MoveFileExA(path_.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        path_.clear();
        return true;
      }
      const DWORD error = GetLastError();
      if (!isHeldOpenError(error) || pause > kMaxRenamePauseMs) return false;
      Sleep(pause);
    }
  }

 private:
  std::string path_;
  FileHandle file_;
};

bool writeAll(HANDLE file, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    DWORD n = 0;
    if (!WriteFile(file, text.data() + done, static_cast<DWORD>(text.size() - done), &n, nullptr) || n == 0)
      return false;
    done += n;
  }
  return true;
}

enum class Replace : std::uint8_t { Done, NoTemporary, Failed };

// Atomic: a crash leaves the old file or the new one, never a mix.
Replace replaceFile(const std::string& target, const std::string& text) {
  TemporaryFile temp(sideFilePrefix(target));
  if (!temp.valid()) return Replace::NoTemporary;
  if (!writeAll(temp.get(), text) || !FlushFileBuffers(temp.get()) || !temp.close()) return Replace::Failed;
  if (!temp.renameTo(target)) return Replace::Failed;
  return Replace::Done;
}

// For a file in a folder we may not create files in, as the system's own
// profile calls always write. The new text goes out in one write from the
// start, padded with blank lines to the old length, and only then is the file
// cut: a crash in between leaves the new settings followed by blank lines,
// which read the same, instead of the tail of the old text.
bool rewriteInPlace(const std::string& target, const std::string& old, const std::string& text) {
  FileHandle file(CreateFileA(target.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
  if (!file.valid()) return false;
  std::string padded = text;
  if (old.size() > text.size()) padded.append(old.size() - text.size(), '\n');
  LONG high = 0;
  return writeAll(file.get(), padded) &&
         (SetFilePointer(file.get(), static_cast<LONG>(text.size()), &high, FILE_BEGIN) !=
              INVALID_SET_FILE_POINTER ||
          GetLastError() == NO_ERROR) &&
         SetEndOfFile(file.get()) && FlushFileBuffers(file.get()) && file.close();
}

// The system error why the file must not be written, or ERROR_SUCCESS. The
// read-only attribute binds every user, as the file's own rule.
DWORD writeRefusal(const std::string& target, DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return ERROR_ACCESS_DENIED;
  FileHandle probe(CreateFileA(target.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr));
  if (probe.valid()) return ERROR_SUCCESS;
  const DWORD error = GetLastError();
  // Somebody reading it without sharing is no refusal; the rename says more.
  return error == ERROR_SHARING_VIOLATION ? ERROR_SUCCESS : error;
}

}  // namespace

namespace profile_store {

bool saveEntries(const std::string& path, std::string_view section, std::span<const ProfileEntry> entries,
                 std::string& reason) {
  const auto failWith = [&reason](DWORD error) {
    reason = win32::systemErrorText(error);
    return false;
  };
  const std::string target = resolveLinks(path);
  if (!makeDirectories(directoryOf(target))) return failWith(GetLastError());

  const DWORD attributes = attributesOf(target);
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (!exists && !isMissingError(GetLastError())) return failWith(GetLastError());
  if (exists) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      reason = target + kNotRegular;
      return false;
    }
    FileHandle file = openForReading(target);
    if (file.valid()) {
      if (reason = refusalOf(target, file.get()); !reason.empty()) return false;
    }
    if (const DWORD refusal = writeRefusal(target, attributes); refusal != ERROR_SUCCESS)
      return failWith(refusal);
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
      return failWith(GetLastError());
  }
  std::string updated = text;
  for (const ProfileEntry& entry : entries)
    updated = profile_text::withProfileValue(updated, section, entry.key, entry.value);
  if (updated == text) return true;
  switch (replaceFile(target, updated)) {
    case Replace::Done:
      return true;
    case Replace::NoTemporary:
      if (exists && GetLastError() == ERROR_ACCESS_DENIED) {
        return rewriteInPlace(target, text, updated) || failWith(GetLastError());
      }
      return failWith(GetLastError());
    case Replace::Failed:
      // Still held open by some reader: in place, as the system's own
      // profile calls always write.
      if (exists && isHeldOpenError(GetLastError())) {
        return rewriteInPlace(target, text, updated) || failWith(GetLastError());
      }
      break;
  }
  return failWith(GetLastError());
}

std::string readForLookup(const std::string& path) {
  std::string text, refusal;
  const ReadStatus status = readWholeFile(path, text, refusal);
  if (status == ReadStatus::Refused) {
    reportOnce("settings file " + refusal + ": the defaults are used and nothing is saved");
    return {};
  }
  // Only beside a settings file that is ours: a device name must not leave a
  // lock file anywhere.
  if (status == ReadStatus::Ok || status == ReadStatus::Missing) sweepBeforeRead(resolveLinks(path));
  return status == ReadStatus::Ok ? text : std::string();
}

}  // namespace profile_store

// Without a folder of its own, a bare name lands where the system's profile
// calls put it: the Windows directory.
std::string profileDirectory() {
  if (auto dir = nonEmptyEnvironment("CORVANE_CONFIG_DIR"); !dir.empty()) return dir;
  std::string windows(MAX_PATH, '\0');
  const UINT n = GetWindowsDirectoryA(windows.data(), static_cast<UINT>(windows.size()));
  if (n == 0 || n >= windows.size()) return ".";
  windows.resize(n);
  return windows;
}

std::string profilePath(std::string_view fileName) {
  // A name with a folder in it is taken as a path, as the profile calls do.
  if (fileName.find_first_of("\\/") != std::string_view::npos) return std::string(fileName);
  return joined(profileDirectory(), std::string(fileName));
}

std::optional<std::string> profileRefusal(const std::string& path) {
  const DWORD attributes = attributesOf(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return path + kNotRegular;
  FileHandle file = openForReading(path);
  if (!file.valid()) return std::nullopt;
  if (std::string refusal = refusalOf(path, file.get()); !refusal.empty()) return refusal;
  return std::nullopt;
}

}  // namespace corvane::platform
