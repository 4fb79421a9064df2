#include "platform/environment.h"

#include <cstdlib>

namespace corvane::platform {

std::optional<std::string> environmentValue(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

}  // namespace corvane::platform
