#include <windows.h>

#include <string>

#include "platform/disk_walk.h"

namespace corvane::platform::disk_walk {

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

bool isDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The path with its last component removed; "" once nothing is left (a
// drive root or "." has no parent to try).
std::string parentOf(std::string path) {
  while (path.size() > 1 && isSeparator(path.back()) && path[path.size() - 2] != ':') path.pop_back();
  std::size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) {
    if (path == "." || (path.size() == 2 && path[1] == ':')) return {};
    return ".";
  }
  if (slash + 1 == path.size()) return {};  // "C:\" or "\"
  // Keep the separator of a root ("C:\x" -> "C:\", "\x" -> "\").
  if (slash == 0 || (slash == 2 && path[1] == ':')) return path.substr(0, slash + 1);
  return path.substr(0, slash);
}

// The bytes available to this caller, quotas counted, as statvfs's f_bavail.
std::optional<std::uint64_t> availableBytes(const std::string& directory) {
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExA(directory.c_str(), &available, nullptr, nullptr)) return std::nullopt;
  return static_cast<std::uint64_t>(available.QuadPart);
}

}  // namespace corvane::platform::disk_walk
