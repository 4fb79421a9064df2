#include "plugin/refresh_warning.h"

#include <gtest/gtest.h>

#include "platform/profile.h"
#include "settings/config_store.h"
#include "support/config_sandbox.h"

namespace corvane::plugin {
namespace {

using testing::ConfigSandbox;

constexpr float kNtsc = 29970026.0f / 1000000.0f;

TEST(RefreshWarning, OnlyARatioAtOrJustAboveAWholeNumberFits) {
  const struct {
    std::int32_t hz;
    float rate;
    bool fits;
  } cases[] = {
      {60, kNtsc, false}, {120, kNtsc, false},  // 120 / 29.97 is 4.004
      {50, 25.0f, true},  {75, 25.0f, true},
      {60, 25.0f, false}, {49, 24.5001f, false},  // 1.9999: just below 2 is a miss
      {50, 24.99f, true},                         // 2.0008: within 0.001 above 2
  };
  for (const auto& c : cases) EXPECT_EQ(refreshRateFits(c.hz, c.rate), c.fits) << c.hz << " " << c.rate;
  EXPECT_EQ(
      refreshWarningText(60, kNtsc),
      "Your monitor refresh rate is 60 Hz, your current output setting is set for 29.970026 Hz. For optimal "
      "onscreen viewing performance, the monitor refresh rate should be a multiple of the output setting, "
      "eg. 60 Hz, 90 Hz, 120 Hz");
  EXPECT_NE(refreshWarningText(60, 25.0f).find("eg. 50 Hz, 75 Hz, 100 Hz"), std::string::npos);
}

TEST(RefreshWarning, TheBoxDecidesWhetherLaterLoadsCheckAndAnUnknownRateNeverWarns) {
  ConfigSandbox box;
  int queries = 0;
  std::vector<std::string> shown;
  bool tick = false;
  std::int32_t refresh = 1;  // below 2: the default rate, unknown
  const RefreshCheckSeams seams{[&] {
                                  ++queries;
                                  return refresh;
                                },
                                [&](const std::string& text) {
                                  shown.push_back(text);
                                  return tick;
                                }};
  const auto storedKey = [&box] {
    return platform::readProfileValue(box.ini().string(), settings::kConfigSection, "Refresh Rate Warning");
  };
  runRefreshCheck(kNtsc, seams);
  EXPECT_TRUE(shown.empty());
  EXPECT_EQ(storedKey(), "1");  // the key is created all the same

  refresh = 60;
  runRefreshCheck(kNtsc, seams);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(storedKey(), "1");  // closed with the box clear

  tick = true;
  runRefreshCheck(kNtsc, seams);
  EXPECT_EQ(shown.size(), 2u);
  EXPECT_EQ(storedKey(), "0");

  // Switched off: the display is not even asked.
  const int queriesBefore = queries;
  runRefreshCheck(kNtsc, seams);
  EXPECT_EQ(queries, queriesBefore);
  EXPECT_EQ(shown.size(), 2u);
}

}  // namespace
}  // namespace corvane::plugin
