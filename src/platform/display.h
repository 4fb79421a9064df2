// The display the previews run on. CORVANE_REFRESH_HZ, when it holds a
// number, is the refresh rate; otherwise the screen's own rate is asked
// (Windows), or 0, the display's default rate, where there is no device
// context to ask (POSIX). Values below 2 mean "the default rate".
#pragma once

#include <cstdint>

namespace corvane::platform {

std::int32_t displayRefreshRate();

// The screen's rate as the system reports it, without the override; 0 where
// there is no device context to ask.
std::int32_t screenRefreshRate();

}  // namespace corvane::platform
