#include "settings/config_store.h"

#include <gtest/gtest.h>

#include "platform/profile.h"
#include "settings/output_controls.h"
#include "settings/output_settings.h"
#include "support/config_sandbox.h"
#include "support/fake_board.h"

namespace corvane::settings {
namespace {

using testing::ConfigSandbox;

std::optional<std::string> stored(const ConfigSandbox& box, const char* key) {
  return platform::readProfileValue(box.ini().string(), kConfigSection, key);
}

TEST(ParseConfigInt, TakesTheLeadingDecimalNumberLikePercentD) {
  EXPECT_EQ(parseConfigInt("42"), 42);
  EXPECT_EQ(parseConfigInt("  -12abc"), -12);
  EXPECT_EQ(parseConfigInt("+7"), 7);
  EXPECT_EQ(parseConfigInt("0x10"), 0);
  EXPECT_EQ(parseConfigInt("\t3 4"), 3);
  EXPECT_EQ(parseConfigInt(""), std::nullopt);
  EXPECT_EQ(parseConfigInt("NONE"), std::nullopt);
  EXPECT_EQ(parseConfigInt("-"), std::nullopt);
  EXPECT_EQ(parseConfigInt("99999999999"), 2147483647);
  EXPECT_EQ(parseConfigInt("-99999999999"), -2147483647 - 1);
}

TEST(ReadConfigInt, WritesTheDefaultBackForMissingOrNonNumericValues) {
  ConfigSandbox box;
  box.write("[VideoCorvane Configuration]\nVideoMode=PAL\nOutput=\nPedestal=0\n");
  EXPECT_EQ(ReadConfigInt("VideoMode", 1), 1);
  EXPECT_EQ(ReadConfigInt("Output", 0), 0);
  EXPECT_EQ(ReadConfigInt("Pedestal", 1), 0);
  EXPECT_EQ(ReadConfigInt("SCPhase", 0), 0);
  EXPECT_EQ(stored(box, "VideoMode"), "1");
  EXPECT_EQ(stored(box, "Output"), "0");
  EXPECT_EQ(stored(box, "Pedestal"), "0");
  EXPECT_EQ(stored(box, "SCPhase"), "0");
}

TEST(ReadConfigInt, KeepsUnrelatedContentWhenItWritesBack) {
  ConfigSandbox box;
  box.write("; user notes\n[Other]\nVideoMode=7\n\n[videocorvane configuration]\nUnknown=abc\n");
  EXPECT_EQ(ReadConfigInt("VideoMode", 1), 1);
  const std::string text = box.read();
  EXPECT_NE(text.find("; user notes"), std::string::npos);
  EXPECT_NE(text.find("[Other]\nVideoMode=7"), std::string::npos);
  EXPECT_NE(text.find("Unknown=abc"), std::string::npos);
  EXPECT_EQ(platform::readProfileValue(box.ini().string(), "Other", "VideoMode"), "7");
}

TEST(VideoMode, FollowsTheSetting) {
  ConfigSandbox box;
  box.write("[VideoCorvane Configuration]\nVideoMode=0\n");
  VideoMode pal = loadVideoModeGeometry();
  loadVideoModeRate(pal);
  EXPECT_EQ(pal.frameWidth, 720u);
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
  EXPECT_EQ(ntsc.rateNumerator, 29970026u);
  EXPECT_EQ(ntsc.rateDenominator, 1000000u);
  // 29970026 / 1000000 rounded once to float, not 30000 / 1001.
  EXPECT_EQ(ntsc.outputRate, 29.970026f);
  EXPECT_NE(ntsc.outputRate, static_cast<float>(30000.0 / 1001.0));
}

TEST(StartupSettings, StopRecordingFlagIsABooleanOfTheKey) {
  ConfigSandbox box;
  box.write("[VideoCorvane Configuration]\nStopRecordingWhenFramesAreDropped=5\n");
  EXPECT_EQ(StartupSettings().StopRecordingWhenFramesAreDropped, 1);
  box.write("");
  StartupSettings fresh;
  EXPECT_EQ(fresh.StopRecordingWhenFramesAreDropped, 0);
  EXPECT_EQ(fresh.ForceNoFrameDrop.Get(), 1);
  EXPECT_EQ(stored(box, "StopRecordingWhenFramesAreDropped"), "0");
  EXPECT_EQ(stored(box, "ForceNoFrameDrop"), "1");
}

TEST(OutputSettings, SaveTruncatesTheScPhaseTowardZero) {
  ConfigSandbox box;
  OutputSettings output;
  output.SCPhase.Set(-3.7, nullptr, false);
  output.OutputFilter.Set(9, nullptr, false);
  output.save();
  EXPECT_EQ(stored(box, "SCPhase"), "-3");
  EXPECT_EQ(stored(box, "OutputFilter"), "9");
  // Beyond 32 bits the file gets what the board got.
  output.SCPhase.Set(-1e12, nullptr, false);
  output.save();
  EXPECT_EQ(stored(box, "SCPhase"), std::to_string(truncateControl(-1e12)));
  output.SCPhase.Set(1e12, nullptr, false);
  output.save();
  EXPECT_EQ(stored(box, "SCPhase"), "2147483647");
}

TEST(PushOutputControls, SendsFormatFilterPedestalAndPhaseInOrder) {
  ConfigSandbox box;
  box.write("[VideoCorvane Configuration]\nOutput=1\nPedestal=5\nOutputFilter=9\n");
  OutputSettings output;
  output.SCPhase.Set(-12.9, nullptr, false);
  testing::FakeBoard board;
  PushOutputControls(board, 1, output);
  EXPECT_EQ(board.calls(), (std::vector<std::string>{
                               "SetOutputControl control.format 5 0",
                               "SetOutputControl control.filter 5 9",
                               "SetOutputControl control.pedestal 5 1",
                               "SetInputControl control.pedestal 5 1",
                               "SetOutputControl control.scphase 5 -12",
                           }));
}

TEST(TruncateControl, NeverOverflows) {
  EXPECT_EQ(truncateControl(12.7), 12);
  EXPECT_EQ(truncateControl(-12.7), -12);
  EXPECT_EQ(truncateControl(1e300), 2147483647);
  EXPECT_EQ(truncateControl(-1e300), -2147483647 - 1);
  EXPECT_EQ(truncateControl(std::numeric_limits<double>::quiet_NaN()), 0);
}

}  // namespace
}  // namespace corvane::settings
