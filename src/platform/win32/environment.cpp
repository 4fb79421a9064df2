#include "platform/environment.h"

#include <windows.h>

namespace corvane::platform {

// The process's own environment block, not the C runtime's copy: the host,
// the plug-in and the children they start all see the same values.
std::optional<std::string> environmentValue(const char* name) {
  std::string value(256, '\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (length < value.size()) {
      value.resize(length);
      return value;
    }
    value.resize(length);  // too small: length is the size needed, terminator included
  }
}

void setEnvironmentValue(const char* name, const std::string& value) {
  SetEnvironmentVariableA(name, value.c_str());
}

}  // namespace corvane::platform
