#include "platform/display.h"

namespace corvane::platform {

// No device context to ask: the display's default rate.
std::int32_t screenRefreshRate() { return 0; }

}  // namespace corvane::platform
