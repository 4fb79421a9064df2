#include "platform/disk.h"

#include "platform/disk_walk.h"

namespace corvane::platform {

std::optional<std::uint64_t> freeDiskBytes(const char* path) {
  std::string directory = (path == nullptr || *path == '\0') ? std::string(".") : std::string(path);
  while (!directory.empty() && !disk_walk::isDirectory(directory)) directory = disk_walk::parentOf(directory);
  if (directory.empty()) return std::nullopt;
  return disk_walk::availableBytes(directory);
}

}  // namespace corvane::platform
