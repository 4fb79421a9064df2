#include "platform/environment.h"

#include <stdlib.h>

#include <cstdlib>

namespace corvane::platform {

std::optional<std::string> environmentValue(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

void setEnvironmentValue(const char* name, const std::string& value) { ::setenv(name, value.c_str(), 1); }

}  // namespace corvane::platform
