#include "platform/executable.h"

#include <windows.h>

namespace corvane::platform {

std::optional<std::string> executablePath() {
  // The loader's own record of the file it started; a long path is cut
  // without an error code on older systems, so a full buffer means grow.
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return std::nullopt;
    if (n < path.size()) {
      path.resize(n);
      return path;
    }
    if (path.size() >= 32768) return std::nullopt;  // longer than any path the system takes
    path.resize(path.size() * 2);
  }
}

}  // namespace corvane::platform
