// The fit test at its edges. What each load shows and stores, for the common
// rates and the unknown one, is checked through the real plug-in in tests/abi.
#include "plugin/refresh_warning.h"

#include <gtest/gtest.h>

namespace corvane::plugin {
namespace {

TEST(RefreshWarning, OnlyARatioAtOrJustAboveAWholeNumberFits) {
  const struct {
    std::int32_t hz;
    float rate;
    bool fits;
  } cases[] = {
      {49, 24.5001f, false},  // 1.9999: just below 2 is a miss
      {50, 24.99f, true},     // 2.0008: within 0.001 above 2
      {50, 24.9f, false},     // 2.008: too far above
  };
  for (const auto& c : cases) EXPECT_EQ(refreshRateFits(c.hz, c.rate), c.fits) << c.hz << " " << c.rate;
}

}  // namespace
}  // namespace corvane::plugin
