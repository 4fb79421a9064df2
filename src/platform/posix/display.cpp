#include "platform/display.h"

#include <cstdlib>

namespace corvane::platform {

std::int32_t displayRefreshRate() {
  const char* text = std::getenv("CORVANE_REFRESH_HZ");
  if (text == nullptr) return 0;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || value < 0 || value > 100000) return 0;
  return static_cast<std::int32_t>(value);
}

}  // namespace corvane::platform
