#include "platform/executable.h"

#include <windows.h>

#include "platform/win32/file_handle.h"

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
      break;
    }
    if (path.size() >= 32768) return std::nullopt;  // longer than any path the system takes
    path.resize(path.size() * 2);
  }
  // The loader names the file as it was asked for; a link is resolved here.
  win32::FileHandle file(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return path;
  std::string resolved = win32::finalPathOf(file.get());
  return resolved.empty() ? path : resolved;
}

}  // namespace corvane::platform
