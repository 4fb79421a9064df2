#include "platform/executable.h"

#include <limits.h>
#include <unistd.h>

#include <vector>

namespace corvane::platform {

std::optional<std::string> executablePath() {
  // The kernel resolves the link chain itself; argv[0] may name a link or
  // only the word a shell found on PATH.
  std::vector<char> path(PATH_MAX);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
    if (n < 0) return std::nullopt;
    if (static_cast<std::size_t>(n) < path.size())
      return std::string(path.data(), static_cast<std::size_t>(n));
    path.resize(path.size() * 2);
  }
}

}  // namespace corvane::platform
