// The settings store below what the loaded plug-in shows: the "%d" reading of
// values, the video mode's numbers, and the conversions of double settings.
// Defaults written back, unrelated content kept, and the push to the board at
// load are checked through the loaded plug-in (tests/abi/plugin_load_test.cpp).
#include "settings/config_store.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/profile.h"
#include "settings/output_controls.h"
#include "settings/output_settings.h"
#include "support/config_sandbox.h"

namespace corvane::settings {
namespace {

using testing::ConfigSandbox;

std::optional<std::string> stored(const ConfigSandbox& box, const char* key) {
  return platform::readProfileValue(box.ini().string(), kConfigSection, key);
}

TEST(ParseConfigInt, TakesTheLeadingDecimalNumberLikePercentD) {
  const struct {
    const char* text;
    std::optional<std::int32_t> value;
  } cases[] = {
      {"  -12abc", -12},
      {"+7", 7},
      {"0x10", 0},
      {"\t3 4", 3},
      {"", std::nullopt},
      {"NONE", std::nullopt},
      {"-", std::nullopt},
      {"99999999999", 2147483647},
      {"-99999999999", -2147483647 - 1},
  };
  for (const auto& c : cases) EXPECT_EQ(parseConfigInt(c.text), c.value) << '"' << c.text << '"';
}

TEST(VideoMode, PalAndTheExactNtscRate) {
  ConfigSandbox box;
  box.write("[VideoCorvane Configuration]\nVideoMode=0\n");
  VideoMode pal = loadVideoModeGeometry();
  loadVideoModeRate(pal);
  EXPECT_EQ(pal.frameHeight, 576u);
  EXPECT_EQ(pal.isNtsc, 0u);
  EXPECT_EQ(pal.rateNumerator, 25u);
  EXPECT_EQ(pal.rateDenominator, 1u);
  EXPECT_EQ(pal.outputRate, 25.0f);

  box.write("[VideoCorvane Configuration]\nVideoMode=2\n");
  VideoMode ntsc = loadVideoModeGeometry();
  loadVideoModeRate(ntsc);
  EXPECT_EQ(ntsc.frameHeight, 480u);
  EXPECT_EQ(ntsc.isNtsc, 2u);
  // 29970026 / 1000000 rounded once to float, not 30000 / 1001.
  EXPECT_EQ(ntsc.outputRate, 29.970026f);
  EXPECT_NE(ntsc.outputRate, static_cast<float>(30000.0 / 1001.0));
}

TEST(StartupSettings, StopRecordingFlagIsABooleanOfTheKey) {
  ConfigSandbox box;
  box.write("[VideoCorvane Configuration]\nStopRecordingWhenFramesAreDropped=5\n");
  EXPECT_EQ(StartupSettings().StopRecordingWhenFramesAreDropped, 1);
}

TEST(OutputSettings, SaveTruncatesTheScPhaseTowardZero) {
  ConfigSandbox box;
  OutputSettings output;
  output.SCPhase.Set(-3.7, nullptr, false);
  output.save();
  EXPECT_EQ(stored(box, "SCPhase"), "-3");
}

// Values typed into an edit box can be anything a double holds.
TEST(TruncateControl, NeverOverflows) {
  EXPECT_EQ(truncateControl(12.7), 12);
  EXPECT_EQ(truncateControl(1e300), 2147483647);
  EXPECT_EQ(truncateControl(-1e300), -2147483647 - 1);
  EXPECT_EQ(truncateControl(std::numeric_limits<double>::quiet_NaN()), 0);
}

}  // namespace
}  // namespace corvane::settings
