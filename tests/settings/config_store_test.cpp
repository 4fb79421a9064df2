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

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

TEST(ParseConfigInt, TakesTheLeadingDecimalNumberLikePercentD) {
  const std::pair<const char*, std::optional<std::int32_t>> cases[] = {
      {"  -12abc", -12},  {"+7", 7},           {"0x10", 0},           {"\t3 4", 3},
      {"", std::nullopt}, {"-", std::nullopt}, {"99999999999", kMax}, {"-99999999999", kMin},
  };
  for (const auto& [text, value] : cases) EXPECT_EQ(parseConfigInt(text), value) << '"' << text << '"';
}

// Any value but 0 is NTSC (PAL and the default are checked through the
// plug-in); its rate is 29970026 / 1000000 rounded once to float, not 30000 / 1001.
TEST(VideoMode, AnyNonZeroValueIsTheExactNtscRate) {
  testing::ConfigSandbox box;
  box.write("[VideoCorvane Configuration]\nVideoMode=2\n");
  VideoMode mode = loadVideoModeGeometry();
  loadVideoModeRate(mode);
  EXPECT_EQ(mode.frameHeight, 480u);
  EXPECT_EQ(mode.isNtsc, 2u);
  EXPECT_EQ(mode.rateNumerator, 29970026u);
  EXPECT_EQ(mode.outputRate, 29.970026f);
}

// Values typed into an edit box can be anything a double holds; the board and
// the file get the same truncation toward zero.
TEST(TruncateControl, TruncatesTowardZeroAndNeverOverflows) {
  const std::pair<double, std::int32_t> cases[] = {
      {12.7, 12}, {-3.7, -3}, {1e300, kMax}, {-1e300, kMin}, {std::numeric_limits<double>::quiet_NaN(), 0}};
  for (const auto& [value, truncated] : cases) EXPECT_EQ(truncateControl(value), truncated) << value;
  testing::ConfigSandbox box;
  OutputSettings output;
  output.SCPhase.Set(-3.7, nullptr, false);
  output.save();
  EXPECT_EQ(platform::readProfileValue(box.ini().string(), kConfigSection, "SCPhase"), "-3");
}

// Inside a batch the file is read once and written once: a change made to it
// behind the batch's back is not seen, the batch's own writes are, and they
// reach the file together when the outermost batch ends.
TEST(ConfigBatch, ReadsTheFileOnceAndStoresItsWritesTogetherAtTheEnd) {
  testing::ConfigSandbox box;
  box.write("[VideoCorvane Configuration]\nOutput=1\nPedestal=junk\n");
  const std::string ini = box.ini().string();
  {
    ConfigBatch outer;
    EXPECT_EQ(ReadConfigInt("Output", 0), 1);
    box.write("[VideoCorvane Configuration]\nOutput=0\n");
    EXPECT_EQ(ReadConfigInt("Output", 0), 1) << "read again during the batch";
    {
      ConfigBatch inner;
      EXPECT_EQ(ReadConfigInt("Pedestal", 1), 1);  // not a number: the default, written back
      WriteConfigInt("SCPhase", -5);
      WriteConfigInt("SCPhase", -6);
    }
    EXPECT_EQ(ReadConfigInt("SCPhase", 0), -6);
    EXPECT_EQ(platform::readProfileValue(ini, kConfigSection, "SCPhase"), std::nullopt) << "stored early";
  }
  EXPECT_EQ(platform::readProfileValue(ini, kConfigSection, "Output"), "0") << "the other writer's value";
  EXPECT_EQ(platform::readProfileValue(ini, kConfigSection, "Pedestal"), "1");
  EXPECT_EQ(platform::readProfileValue(ini, kConfigSection, "SCPhase"), "-6");
  EXPECT_EQ(ReadConfigInt("Output", 1), 0) << "outside a batch every read goes to the file";
}

}  // namespace
}  // namespace corvane::settings
