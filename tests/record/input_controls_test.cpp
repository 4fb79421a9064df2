#include "record/input_controls.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/profile.h"
#include "record/input_settings_store.h"
#include "settings/config_store.h"
#include "support/config_sandbox.h"
#include "support/fake_board.h"
#include "support/fake_clock.h"

namespace corvane::record {
namespace {

using testing::ConfigSandbox;
using testing::FakeBoard;
using testing::FakeClock;

struct Loaded {
  InputColourControls controls;
  FakeBoard board;
  FakeClock clock;
  InputSettingsStore store{controls, InputSwitcher(board, 7), clock};
  Loaded() { loadInputSettings(controls); }
};

// The Composite defaults' calls are checked through the plug-in's load; what
// only a fake clock shows is the decoder's pause.
TEST(InputControls, TheDecoderGetsItsPauseBeforeThePictureValues) {
  ConfigSandbox box;
  Loaded loaded;
  loaded.store.applySource(true);
  EXPECT_EQ(loaded.clock.sleeps, std::vector<std::uint32_t>{100});
}

TEST(InputControls, EachSourceSelectsItsOwnDecoderAndValues) {
  ConfigSandbox box;
  box.write("[VideoCorvane Configuration]\nInput=2\nContrast_Component=-50\n");
  Loaded component;
  component.store.applySource(false);
  const auto calls = component.board.calls();
  ASSERT_GE(calls.size(), 8u);
  EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 8),
            (std::vector<std::string>{
                "SetInputControl control.format 5 15", "SetInputControl control.lumacomb 5 11",
                "SetInputControl control.chromacomb 5 12", "SetInputControl control.ctrap 5 0",
                "SetInputControl control.tstcgn 5 1", "SetOutputControl control.pedestal 5 0",
                "SetInputControl control.pedestal 5 0", "SetInputControl control.contrast 4 -50"}));
  EXPECT_EQ(calls.back(), "SetInputControl control.hypk 4 1");

  box.write("[VideoCorvane Configuration]\nInput=3\n");
  Loaded sdi;
  sdi.store.applySource(true);
  const auto sdiCalls = sdi.board.calls();
  ASSERT_GE(sdiCalls.size(), 4u);
  EXPECT_EQ(sdiCalls[0], "SetInputControl control.format 5 1");
  EXPECT_EQ(sdiCalls[1], "SetOutputControl control.pedestal 5 1");
  EXPECT_EQ(sdiCalls.back(), "SetInputControl control.hypk 4 2");
}

TEST(InputControls, AnUnknownSourceSetsOnlyThePedestal) {
  ConfigSandbox box;
  box.write("[VideoCorvane Configuration]\nInput=9\n");
  Loaded loaded;
  loaded.store.applySource(true);
  EXPECT_EQ(loaded.board.calls(), (std::vector<std::string>{"SetOutputControl control.pedestal 5 1",
                                                            "SetInputControl control.pedestal 5 1"}));
}

TEST(InputControls, FractionsAreTruncatedTowardZeroForTheBoardAndTheFile) {
  ConfigSandbox box;
  Loaded loaded;
  loaded.controls.set(ColourKey::Contrast, 0, -12.7);
  loaded.controls.set(ColourKey::Hue, 1, 12.7);
  loaded.board.clear();
  loaded.store.board().applyPicture(loaded.controls, 0);
  EXPECT_EQ(loaded.board.calls().front(), "SetInputControl control.contrast 4 -12");
  loaded.store.save();
  const std::string ini = box.ini().string();
  EXPECT_EQ(platform::readProfileValue(ini, settings::kConfigSection, "Contrast_Composite"), "-12");
  EXPECT_EQ(platform::readProfileValue(ini, settings::kConfigSection, "Hue_YC"), "12");
}

TEST(InputControls, SaveWritesAll41Keys) {
  ConfigSandbox box;
  box.write("[VideoCorvane Configuration]\nInput=1\nAGC_SDI=300\n");
  Loaded loaded;
  // Written after load so that only the save can have put the keys there.
  box.write("");
  loaded.store.save();
  const std::string ini = box.ini().string();
  int present = 0;
  for (std::size_t k = 0; k < kColourKeyCount; ++k)
    for (std::size_t s = 0; s < kSourceCount; ++s) {
      const auto& info = colourKeyInfo(static_cast<ColourKey>(k));
      const std::string key = std::string(info.keyBase) + std::string(kSourceSuffixes[s]);
      const auto value = platform::readProfileValue(ini, settings::kConfigSection, key);
      ASSERT_TRUE(value.has_value()) << key;
      // Out-of-range values pass through unchanged.
      if (key == "AGC_SDI")
        EXPECT_EQ(*value, "300");
      else
        EXPECT_EQ(*value, std::to_string(info.defaults[s])) << key;
      ++present;
    }
  EXPECT_EQ(present, 40);
  EXPECT_EQ(platform::readProfileValue(ini, settings::kConfigSection, "Input"), "1");
}

}  // namespace
}  // namespace corvane::record
