#include "platform/display.h"

#include <windows.h>

namespace corvane::platform {

// The screen's device context, as the refresh check has always asked it;
// 0 and 1 come back for "the hardware's default rate".
std::int32_t screenRefreshRate() {
  HDC screen = ::GetDC(nullptr);
  if (screen == nullptr) return 0;
  const int rate = ::GetDeviceCaps(screen, VREFRESH);
  ::ReleaseDC(nullptr, screen);
  return rate;
}

}  // namespace corvane::platform
