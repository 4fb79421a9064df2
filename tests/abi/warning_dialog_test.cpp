// The refresh-rate warning at load, through the real plug-in: which
// refresh rates warn, the exact text, and what the box stores, scripted.
#include <gtest/gtest.h>

#include "abi/plugin_process.h"
#include "abi/qvf_clip.h"
#include "abi/refresh_warning.h"

namespace corvane::abi {
namespace {

int loadOnly(const host::AvfileApi&) { return 0; }

// What the dialog log shows of one warning: its text, the box's states, the close.
std::vector<std::string> warned(int hz, bool pal, const std::vector<int>& boxStates = {0}) {
  const std::string text = "text 103 1008 Your monitor refresh rate is " + std::to_string(hz) +
                           " Hz, your current output setting is set for " +
                           (pal ? "25.000000" : "29.970026") +
                           " Hz. For optimal onscreen viewing performance, the monitor refresh rate should "
                           "be a multiple of the output setting, eg. " +
                           (pal ? "50 Hz, 75 Hz, 100 Hz" : "60 Hz, 90 Hz, 120 Hz");
  std::vector<std::string> log{"open 103", text};
  for (int state : boxStates) log.push_back("state 103 1004=" + std::to_string(state));
  log.push_back("close 103 0");
  return log;
}

// Loads the plug-in once with the refresh rate, video mode and script given;
// returns the dialog log and the stored key.
std::pair<std::vector<std::string>, std::string> loadWith(const Sandbox& box, const std::string& refresh,
                                                          bool pal, const std::string& script) {
  if (pal) box.writeFile(box.iniPath(), kPalIni);
  const auto scriptPath = box.dir() / "dialogs.txt", logPath = box.dir() / "dialogs.log";
  box.writeFile(scriptPath, script);
  const ChildOutcome outcome =
      runWithPlugin(box.environment({{"CORVANE_REFRESH_HZ", refresh},
                                     {"CORVANE_DIALOGS", "script:" + scriptPath.string()},
                                     {"CORVANE_DIALOG_LOG", logPath.string()}}),
                    loadOnly);
  EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << refresh;
  return {box.readLines(logPath), storedWarningKey(box)};
}

TEST(WarningDialog, WhatEachLoadShowsAndStores) {
  const struct {
    const char* name;
    const char* refresh;
    bool pal;
    const char* script;
    std::vector<std::string> log;
    const char* stored;
  } cases[] = {
      {"NTSC at 60 Hz, Escape", "60", false, "", warned(60, false), "1"},
      {"NTSC at 120 Hz: 4.004 is no whole multiple", "120", false, "dialog 103\nclose\n", warned(120, false),
       "1"},
      {"box ticked, then OK", "60", false, "# the user opts out\ndialog 103\nclick 1004\n\nclick 1\n",
       warned(60, false, {0, 1}), "0"},
      {"OK with the box clear", "60", false, "dialog 103\nclick 1\n", warned(60, false), "1"},
      {"the box ticked twice is clear", "60", false, "dialog 103\nclick 1004\nclick 1004\n",
       warned(60, false, {0, 1, 0}), "1"},
      {"a script for another dialog leaves this one without actions", "60", false, "dialog 102\nclick 1004\n",
       warned(60, false), "1"},
      {"PAL at 50 Hz", "50", true, "", {}, "1"},
      {"PAL at 75 Hz", "75", true, "", {}, "1"},
      {"PAL at 100 Hz", "100", true, "", {}, "1"},
      {"PAL at 60 Hz", "60", true, "", warned(60, true), "1"},
      {"rate 1: the display's default", "1", false, "", {}, "1"},
      {"rate 0", "0", false, "", {}, "1"},
  };
  for (const auto& c : cases) {
    const auto [log, stored] = loadWith(Sandbox(), c.refresh, c.pal, c.script);
    EXPECT_EQ(log, c.log) << c.name;
    EXPECT_EQ(stored, c.stored) << c.name;
  }
}

TEST(WarningDialog, OptingOutEndsTheWarningsOfLaterLoads) {
  const Sandbox box;
  loadWith(box, "60", false, "dialog 103\nclick 1004\nclick 1\n");
  const auto [log, stored] = loadWith(box, "60", false, "dialog 103\nclick 1004\nclick 1\n");
  EXPECT_EQ(std::count(log.begin(), log.end(), "open 103"), 1);
  EXPECT_EQ(stored, "0");
}

}  // namespace
}  // namespace corvane::abi
