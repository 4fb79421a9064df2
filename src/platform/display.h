// The display the previews run on. There is no device context here: the
// refresh rate comes from CORVANE_REFRESH_HZ (unset or not a number: 0, the
// display's default rate).
#pragma once

#include <cstdint>

namespace corvane::platform {

std::int32_t displayRefreshRate();

}  // namespace corvane::platform
