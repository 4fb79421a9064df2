// The refresh-rate warning at load, through the real plug-in: which
// refresh rates warn, the exact text, and what the box stores; scripted, and
// once at a terminal.
#include <gtest/gtest.h>

#include <csignal>
#include <regex>

#include "abi/plugin_process.h"
#include "abi/qvf_clip.h"
#include "host/plugin_loader.h"
#include "support/pty_child.h"

namespace corvane::abi {
namespace {

int loadOnly(const host::AvfileApi&) { return 0; }

std::string storedWarningKey(const Sandbox& box) {
  std::smatch match;
  const std::string ini = box.readFile(box.iniPath());
  static const std::regex key("Refresh Rate Warning=([^\r\n]*)");
  return std::regex_search(ini, match, key) ? match[1].str() : "(missing)";
}

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

TEST(WarningDialog, AtATerminalTheKeysTickTheBoxAndPressOk) {
  Sandbox box;
  testing::PtyChild child(box.environment({{"CORVANE_REFRESH_HZ", "60"}, {"CORVANE_DIALOGS", "tty"}}), [] {
    host::LoadedPlugin plugin(CORVANE_PLUGIN_PATH);
    plugin.unload();
    return 0;
  });
  ASSERT_TRUE(child.waitFor("< OK >")) << child.allOutput();
  const std::string screen = child.takeOutput();
  EXPECT_NE(screen.find("Warning !"), std::string::npos);
  EXPECT_NE(screen.find(">[ ] Do not show this message again"), std::string::npos);  // focus on the box
  EXPECT_NE(screen.find("Your monitor refresh rate is 60 Hz"), std::string::npos);
  child.type(" ");
  ASSERT_TRUE(child.waitFor(">[x] Do not show")) << child.allOutput();
  child.type("\t");
  ASSERT_TRUE(child.waitFor(">< OK >")) << child.allOutput();
  child.type("\r");
  const int status = child.wait();
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(storedWarningKey(box), "0");
  EXPECT_NE(child.allOutput().find("\x1b[?1049l"), std::string::npos);  // the normal screen is back
  EXPECT_NE(child.modes().c_lflag & ECHO, 0u);
}

TEST(WarningDialog, AtATerminalATerminatedHostLeavesTheTerminalAsItWas) {
  Sandbox box;
  testing::PtyChild child(box.environment({{"CORVANE_REFRESH_HZ", "60"}, {"CORVANE_DIALOGS", "tty"}}), [] {
    host::LoadedPlugin plugin(CORVANE_PLUGIN_PATH);
    return 0;
  });
  ASSERT_TRUE(child.waitFor("< OK >")) << child.allOutput();
  EXPECT_EQ(child.modes().c_lflag & (ICANON | ECHO), 0u);  // raw while the dialog is up
  child.signal(SIGTERM);
  const int status = child.wait();
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  // A new terminal's modes: lines edited and echoed, Return read as newline.
  const termios after = child.modes();
  EXPECT_EQ(after.c_lflag & (ICANON | ECHO | IEXTEN | ISIG), tcflag_t{ICANON | ECHO | IEXTEN | ISIG});
  EXPECT_EQ(after.c_iflag & (ICRNL | IXON), tcflag_t{ICRNL | IXON});
  EXPECT_NE(child.allOutput().find("\x1b[?25h\x1b[?1049l"), std::string::npos);
}

}  // namespace
}  // namespace corvane::abi
