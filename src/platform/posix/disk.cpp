#include "platform/disk.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <string>

namespace corvane::platform {
namespace {

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

}  // namespace

std::optional<std::uint64_t> freeDiskBytes(const char* path) {
  std::string directory = (path == nullptr || *path == '\0') ? std::string(".") : std::string(path);
  while (!directory.empty() && !isDirectory(directory)) directory = parentOf(directory);
  if (directory.empty()) return std::nullopt;
  struct statvfs info;
  if (::statvfs(directory.c_str(), &info) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(info.f_bavail) * static_cast<std::uint64_t>(info.f_frsize);
}

}  // namespace corvane::platform
