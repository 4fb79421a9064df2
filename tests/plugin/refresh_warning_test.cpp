#include "plugin/refresh_warning.h"

#include <gtest/gtest.h>

#include "platform/profile.h"
#include "settings/config_store.h"
#include "support/config_sandbox.h"

namespace corvane::plugin {
namespace {

using testing::ConfigSandbox;

constexpr float kNtsc = 29970026.0f / 1000000.0f;

struct Recorder {
  int queries = 0;
  std::vector<std::string> shown;
  bool tick = false;
  std::int32_t refresh = 60;

  RefreshCheckSeams seams() {
    return {[this] {
              ++queries;
              return refresh;
            },
            [this](const std::string& text) {
              shown.push_back(text);
              return tick;
            }};
  }
};

std::optional<std::string> storedKey(const ConfigSandbox& box) {
  return platform::readProfileValue(box.ini().string(), settings::kConfigSection, "Refresh Rate Warning");
}

TEST(RefreshWarning, NtscOnASixtyHertzMonitorWarnsWithThreeSuggestions) {
  EXPECT_EQ(
      refreshWarningText(60, kNtsc),
      "Your monitor refresh rate is 60 Hz, your current output setting is set for 29.970026 Hz. For optimal "
      "onscreen viewing performance, the monitor refresh rate should be a multiple of the output setting, "
      "eg. 60 Hz, 90 Hz, 120 Hz");
  // Every whole rate misses the NTSC rate: 120 / 29.97 is 4.004.
  for (int hz : {30, 60, 90, 120, 144}) EXPECT_FALSE(refreshRateFits(hz, kNtsc)) << hz;
}

TEST(RefreshWarning, PalPassesAtMultiplesAndWarnsOtherwise) {
  for (int hz : {50, 75, 100}) EXPECT_TRUE(refreshRateFits(hz, 25.0f)) << hz;
  EXPECT_FALSE(refreshRateFits(60, 25.0f));
  EXPECT_NE(refreshWarningText(60, 25.0f).find("set for 25.000000 Hz"), std::string::npos);
  EXPECT_NE(refreshWarningText(60, 25.0f).find("eg. 50 Hz, 75 Hz, 100 Hz"), std::string::npos);
}

TEST(RefreshWarning, OnlyARatioAtOrJustAboveAWholeNumberPasses) {
  // 49.99 / 25 = 1.9996: just below 2 is a miss, not a fit.
  EXPECT_FALSE(refreshRateFits(49, 24.5001f));
  EXPECT_TRUE(refreshRateFits(50, 24.99f));  // 2.0008: within 0.001 above 2
}

TEST(RefreshWarning, TheBoxDecidesWhetherLaterLoadsCheck) {
  ConfigSandbox box;
  Recorder recorder;
  runRefreshCheck(kNtsc, recorder.seams());
  ASSERT_EQ(recorder.shown.size(), 1u);
  EXPECT_EQ(storedKey(box), "1");  // closed with the box clear

  recorder.tick = true;
  runRefreshCheck(kNtsc, recorder.seams());
  EXPECT_EQ(recorder.shown.size(), 2u);
  EXPECT_EQ(storedKey(box), "0");

  // Switched off: the display is not even asked.
  const int queriesBefore = recorder.queries;
  runRefreshCheck(kNtsc, recorder.seams());
  EXPECT_EQ(recorder.queries, queriesBefore);
  EXPECT_EQ(recorder.shown.size(), 2u);
}

TEST(RefreshWarning, AnUnknownRateNeverWarns) {
  ConfigSandbox box;
  for (std::int32_t hz : {0, 1}) {
    Recorder recorder;
    recorder.refresh = hz;
    runRefreshCheck(kNtsc, recorder.seams());
    EXPECT_TRUE(recorder.shown.empty());
  }
  // The key is created all the same.
  EXPECT_EQ(storedKey(box), "1");
}

}  // namespace
}  // namespace corvane::plugin
