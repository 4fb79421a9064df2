// What the host tool needs to know about a path before it writes anything:
// what kind of thing it names, whether two paths are one file, and the
// system's own words for a failure. Also the exclusive creation of uniquely
// named temporary files and the liveness of the process that made one.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

namespace corvane::platform {

enum class FileKind : std::uint8_t { Missing, Regular, Directory, Fifo, Device, Socket, Other, Unreadable };

struct FileStatus {
  FileKind kind = FileKind::Missing;
  std::uint64_t size = 0;
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  int error = 0;  // the errno of a failed look-up (Missing, Unreadable)
};

// Follows symbolic links.
FileStatus fileStatus(const std::string& path);
bool isSymbolicLink(const std::string& path);
// True when both paths exist and name the same file (links, "..", hard links).
bool sameFile(const std::string& a, const std::string& b);
// True when path exists and this process may open it as mode says ("r" or "w").
std::optional<int> accessError(const std::string& path, char mode);

// The system's description of an errno value ("No such file or directory").
std::string errorText(int error);

// Creates prefix + six random characters + suffix exclusively (never an
// existing file) and opens it for writing; path receives the name. nullptr
// with errno set when no file can be made.
std::FILE* createUniqueFile(const std::string& prefix, const std::string& suffix, std::string& path);

// Creates prefix + six random characters as a new private directory.
std::optional<std::string> createUniqueDirectory(const std::string& prefix);

int currentProcessId();
// The process that started this one; another (the reaper) once that one has ended.
int parentProcessId();
// False only when no process with this id exists.
bool processExists(int processId);

// True when file is connected to a terminal.
bool isTerminal(std::FILE* file);

}  // namespace corvane::platform
