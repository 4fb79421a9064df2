#include <sys/stat.h>
#include <sys/statvfs.h>

#include <string>

#include "platform/disk_walk.h"

namespace corvane::platform::disk_walk {

bool isDirectory(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The path with its last component removed; "" once nothing is left.
std::string parentOf(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return path == "." ? std::string() : std::string(".");
  if (slash == 0) return path == "/" ? std::string() : std::string("/");
  return path.substr(0, slash);
}

std::optional<std::uint64_t> availableBytes(const std::string& directory) {
  struct statvfs info;
  if (::statvfs(directory.c_str(), &info) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_frsize);
}

}  // namespace corvane::platform::disk_walk
