#include "platform/display.h"

#include <cstdlib>
#include <string>

#include "platform/environment.h"

namespace corvane::platform {

std::int32_t displayRefreshRate() {
  const std::optional<std::string> text = environmentValue("CORVANE_REFRESH_HZ");
  if (!text) return screenRefreshRate();
  char* end = nullptr;
  const long value = std::strtol(text->c_str(), &end, 10);
  if (end == text->c_str() || value < 0 || value > 100000) return screenRefreshRate();
  return static_cast<std::int32_t>(value);
}

}  // namespace corvane::platform
