// The load-time refresh-rate check: on-screen previews look best when the
// monitor's refresh rate is a whole multiple of the output frame rate. When
// it is not, the user is told in the modal warning dialog, whose box can
// switch the check off for later loads.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace corvane::plugin {

struct RefreshCheckSeams {
  // The display's refresh rate in hertz; below 2 stands for "the default".
  std::function<std::int32_t()> refreshRate;
  // Shows the warning modally; true when "Do not show this message again"
  // was ticked when it closed.
  std::function<bool(const std::string& text)> showWarning;
};

// The dialog's text for a refresh rate and output rate.
std::string refreshWarningText(std::int32_t refreshHz, float outputRate);

// True when refreshHz fits outputRate: the ratio lies at, or within 0.001
// above, a whole number.
bool refreshRateFits(std::int32_t refreshHz, float outputRate);

// Runs the check once (the first process attach does).
void runRefreshCheck(float outputRate, const RefreshCheckSeams& seams);

}  // namespace corvane::plugin
