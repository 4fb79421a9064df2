// Loading and unloading the real plug-in: the settings file it creates and
// keeps, the calls it makes to the board, and the missing-board exit.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <sstream>

#include "abi/plugin_process.h"
#include "host/plugin_loader.h"
#include "support/system.h"

namespace corvane::abi {
namespace {

int loadOnly(const host::AvfileApi&) { return 0; }

std::vector<std::string> expectedLoadCalls() {
  return {
      // output settings at their defaults
      "SetOutputControl control.format 5 1",
      "SetOutputControl control.filter 5 2",
      "SetOutputControl control.pedestal 5 1",
      "SetInputControl control.pedestal 5 1",
      "SetOutputControl control.scphase 5 0",
      // the Composite input
      "SetInputControl control.format 5 0",
      "SetInputControl control.lumacomb 5 10",
      "SetInputControl control.chromacomb 5 8",
      "SetInputControl control.ctrap 5 0",
      "SetInputControl control.tstcgn 5 0",
      "SetOutputControl control.pedestal 5 1",
      "SetInputControl control.pedestal 5 1",
      "SetInputControl control.contrast 4 44",
      "SetInputControl control.brightness 4 24",
      "SetInputControl control.saturation 4 -4",
      "SetInputControl control.hue 4 0",
      "SetInputControl control.ugain 4 -1",
      "SetInputControl control.vgain 4 3",
      "SetInputControl control.uoffset 4 13",
      "SetInputControl control.voffset 4 12",
      "SetInputControl control.agc 4 0",
      "SetInputControl control.hypk 4 0",
  };
}

std::map<std::string, std::string> sectionOf(const std::string& ini) {
  std::map<std::string, std::string> keys;
  std::istringstream in(ini);
  bool inSection = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind('[', 0) == 0) {
      inSection = line == "[VideoCorvane Configuration]";
      continue;
    }
    const auto eq = line.find('=');
    if (inSection && eq != std::string::npos) keys[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return keys;
}

// Each key=value line of expected holds in keys.
void expectKeys(const std::map<std::string, std::string>& keys, const std::string& expected) {
  for (const auto& [key, value] : sectionOf("[VideoCorvane Configuration]\n" + expected))
    EXPECT_EQ(keys.count(key) ? keys.at(key) : "(missing)", value) << key;
}

TEST(PluginLoad, FirstLoadCreatesTheSettingsAndConfiguresTheBoard) {
  Sandbox box;
  const ChildOutcome outcome = runWithPlugin(box.environment(), loadOnly);
  ASSERT_TRUE(outcome.exited);
  ASSERT_EQ(outcome.exitCode, 0);

  const auto keys = sectionOf(box.readFile(box.iniPath()));
  expectKeys(keys,
             "VideoMode=1\nForceNoFrameDrop=1\nStopRecordingWhenFramesAreDropped=0\nOutput=0\nPedestal=1\n"
             "OutputFilter=2\nSCPhase=0\nInput=0\nContrast_Composite=44\nSaturation_Component=90\n"
             "HYPK_SDI=2\nUOffset_Component=-38\nRefresh Rate Warning=1\n");
  // 8 start-up and output keys, Input and the 40 per-source keys.
  EXPECT_EQ(keys.size(), 49u);

  const auto calls = box.readLines(box.boardLog());
  ASSERT_EQ(calls.size(), 2 + expectedLoadCalls().size());
  EXPECT_TRUE(std::regex_match(calls.front(), std::regex("OpenSwitcher apps\\.Veltrix\\.Switcher-?[0-9]+")))
      << calls.front();
  EXPECT_EQ(std::vector<std::string>(calls.begin() + 1, calls.end() - 1), expectedLoadCalls());
  EXPECT_EQ(calls.back(), "CloseSwitcher");
}

TEST(PluginLoad, UnloadSavesTheSettingsAndKeepsEverythingElse) {
  Sandbox box;
  box.writeFile(box.iniPath(),
                "; written by hand\n[Other Program]\nVideoMode=7\n\n"
                "[VideoCorvane Configuration]\nVideoMode=PAL\nOutputFilter=\nUnknownKey=keep me\n"
                "SCPhase=-3\nContrast_SDI=120\n");
  const ChildOutcome outcome = runWithPlugin(box.environment(), loadOnly);
  ASSERT_TRUE(outcome.exited);
  ASSERT_EQ(outcome.exitCode, 0);
  const std::string ini = box.readFile(box.iniPath());
  EXPECT_NE(ini.find("; written by hand\n[Other Program]\nVideoMode=7\n"), std::string::npos) << ini;
  // Letters and an empty value are replaced by the default.
  expectKeys(sectionOf(ini),
             "VideoMode=1\nOutputFilter=2\nUnknownKey=keep me\nSCPhase=-3\nContrast_SDI=120\n");
}

TEST(PluginLoad, TheSavedOutputValuesGoToTheBoardAtTheNextLoad) {
  Sandbox box;
  box.writeFile(
      box.iniPath(),
      "[VideoCorvane Configuration]\nVideoMode=0\nOutput=1\nPedestal=0\nOutputFilter=3\nSCPhase=-12\n"
      "Input=3\n");
  ASSERT_EQ(runWithPlugin(box.environment(), loadOnly).exitCode, 0);
  const auto calls = box.readLines(box.boardLog());
  ASSERT_GE(calls.size(), 9u);
  EXPECT_EQ(std::vector<std::string>(calls.begin() + 1, calls.begin() + 9),
            (std::vector<std::string>{
                "SetOutputControl control.format 5 0", "SetOutputControl control.filter 5 3",
                "SetOutputControl control.pedestal 5 0", "SetInputControl control.pedestal 5 0",
                "SetOutputControl control.scphase 5 -12",
                // the SDI input has only a format
                "SetInputControl control.format 5 1", "SetOutputControl control.pedestal 5 0",
                "SetInputControl control.pedestal 5 0"}));
}

TEST(PluginLoad, ASecondLoadInTheSameProcessDoesNotRepeatTheStartUp) {
  Sandbox box;
  const ChildOutcome outcome = runWithPlugin(box.environment(), [](const host::AvfileApi&) {
    host::LoadedPlugin again(CORVANE_PLUGIN_PATH);
    again.unload();
    return 0;
  });
  ASSERT_EQ(outcome.exitCode, 0);
  const auto calls = box.readLines(box.boardLog());
  EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                          [](const std::string& c) { return c.rfind("OpenSwitcher", 0) == 0; }),
            1);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "CloseSwitcher"), 1);
}

TEST(PluginLoad, UnloadAfterGuardedCallsReallyUnloadsAndLeavesNoHandlerBehind) {
  Sandbox box;
  const ChildOutcome outcome = runInChild(box.environment(), [&] {
    // Whatever handled faults before the plug-in came (the default, or a
    // sanitizer's) must handle them again once it has gone.
    const std::uintptr_t before = testing::faultHandlerIdentity();
    for (int round = 0; round < 2; ++round) {
      host::LoadedPlugin plugin(CORVANE_PLUGIN_PATH);
      host::RecordBuffer record(324);
      record.setU32(0, 324);
      // One call that succeeds and one that faults inside its guard.
      if (plugin.api().AVFILE_QueryInterfaceSink(record.data()) != 1) return 10;
      if (plugin.api().AVFILE_QueryInterfaceSink(nullptr) != 0) return 11;
      plugin.unload();
      // The settings are saved and the switcher closed at the unload itself.
      const auto calls = box.readLines(box.boardLog());
      if (calls.empty() || calls.back() != "CloseSwitcher") return 12;
      // A fault after the unload goes to the host's own handler again.
      if (testing::faultHandlerIdentity() != before) return 13;
    }
    // The second load ran the whole start-up again.
    const auto calls = box.readLines(box.boardLog());
    return std::count(calls.begin(), calls.end(), "CloseSwitcher") == 2 ? 0 : 14;
  });
  ASSERT_TRUE(outcome.exited) << "signal " << outcome.signal;
  EXPECT_EQ(outcome.exitCode, 0);
}

TEST(PluginLoad, AMissingBoardEndsTheHostWithExitCodeOne) {
  Sandbox box;
  const auto env = box.environment({{"CORVANE_BOARD", "absent=1,log=" + box.boardLog().string()}});
  bool bodyRan = false;
  const ChildOutcome outcome = runWithPlugin(env, [&](const host::AvfileApi&) {
    bodyRan = true;
    return 0;
  });
  ASSERT_TRUE(outcome.exited);
  EXPECT_EQ(outcome.exitCode, 1);
  EXPECT_FALSE(bodyRan);
  EXPECT_EQ(box.readLines(box.messageLog()),
            std::vector<std::string>{
                "Error\tThe Video Corvane board was not found, this could be because the device "
                "driver failed to load."});
  // Two attempts with the same name, and nothing else reaches the board.
  const auto calls = box.readLines(box.boardLog());
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0], calls[1]);
}

}  // namespace
}  // namespace corvane::abi
