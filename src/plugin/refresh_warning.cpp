#include "plugin/refresh_warning.h"

#include <cmath>
#include <cstdio>

#include "settings/config_store.h"

namespace corvane::plugin {

bool refreshRateFits(std::int32_t refreshHz, float outputRate) {
  const long double ratio = static_cast<long double>(refreshHz) / static_cast<long double>(outputRate);
  // Only a ratio at or just above a whole number passes; 1.9999 is far from 2.
  return std::fabs(ratio - std::floor(ratio)) <= 0.001L;
}

std::string refreshWarningText(std::int32_t refreshHz, float outputRate) {
  char text[1024];
  const auto multiple = [outputRate](int k) {
    return static_cast<int>(static_cast<double>(k) * static_cast<double>(outputRate) + 0.5);
  };
  std::snprintf(
      text, sizeof text,
      "Your monitor refresh rate is %d Hz, your current output setting is set for %f Hz. For optimal "
      "onscreen viewing performance, the monitor refresh rate should be a multiple of the output setting, "
      "eg. %2.2d Hz, %2.2d Hz, %2.2d Hz",
      refreshHz, static_cast<double>(outputRate), multiple(2), multiple(3), multiple(4));
  return text;
}

void runRefreshCheck(float outputRate, const RefreshCheckSeams& seams) {
  if (settings::ReadConfigInt("Refresh Rate Warning", 1) == 0) return;
  const std::int32_t refresh = seams.refreshRate();
  if (refresh < 2 || refreshRateFits(refresh, outputRate)) return;
  const bool doNotShowAgain = seams.showWarning(refreshWarningText(seams.refreshRate(), outputRate));
  settings::WriteConfigInt("Refresh Rate Warning", doNotShowAgain ? 0 : 1);
}

}  // namespace corvane::plugin
