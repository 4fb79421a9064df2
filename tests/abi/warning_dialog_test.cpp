// The refresh-rate warning at load, through the real plug-in: which
// refresh rates warn, the exact text, and what the box stores; scripted, and
// once at a terminal.
#include <gtest/gtest.h>

#include <csignal>
#include <regex>

#include "abi/plugin_process.h"
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

std::string ntscText(int hz) {
  return "Your monitor refresh rate is " + std::to_string(hz) +
         " Hz, your current output setting is set for 29.970026 Hz. For optimal onscreen viewing "
         "performance, "
         "the monitor refresh rate should be a multiple of the output setting, eg. 60 Hz, 90 Hz, 120 Hz";
}

struct Load {
  std::vector<std::string> dialogLog;
  std::string storedKey;
};

// Loads the plug-in once with the refresh rate, video mode and script given.
Load loadWith(const std::string& refresh, const std::string& videoMode, const std::string& script) {
  Sandbox box;
  if (!videoMode.empty()) {
    box.writeFile(box.iniPath(), "[VideoCorvane Configuration]\nVideoMode=" + videoMode + "\n");
  }
  const auto scriptPath = box.dir() / "dialogs.txt";
  const auto logPath = box.dir() / "dialogs.log";
  box.writeFile(scriptPath, script);
  const ChildOutcome outcome =
      runWithPlugin(box.environment({{"CORVANE_REFRESH_HZ", refresh},
                                     {"CORVANE_DIALOGS", "script:" + scriptPath.string()},
                                     {"CORVANE_DIALOG_LOG", logPath.string()}}),
                    loadOnly);
  EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << refresh << " " << videoMode;
  return Load{box.readLines(logPath), storedWarningKey(box)};
}

TEST(WarningDialog, WhatEachLoadShowsAndStores) {
  const struct {
    const char* name;
    std::string refresh;
    std::string videoMode;  // empty: NTSC by default
    std::string script;
    std::vector<std::string> log;
    std::string stored;
  } cases[] = {
      {"NTSC at 60 Hz, Escape",
       "60",
       "",
       "",
       {"open 103", "text 103 1008 " + ntscText(60), "state 103 1004=0", "close 103 0"},
       "1"},
      {"NTSC at 120 Hz: 4.004 is no whole multiple",
       "120",
       "",
       "dialog 103\nclose\n",
       {"open 103", "text 103 1008 " + ntscText(120), "state 103 1004=0", "close 103 0"},
       "1"},
      {"box ticked, then OK",
       "60",
       "",
       "# the user opts out\ndialog 103\nclick 1004\n\nclick 1\n",
       {"open 103", "text 103 1008 " + ntscText(60), "state 103 1004=0", "state 103 1004=1", "close 103 0"},
       "0"},
      {"OK with the box clear",
       "60",
       "",
       "dialog 103\nclick 1\n",
       {"open 103", "text 103 1008 " + ntscText(60), "state 103 1004=0", "close 103 0"},
       "1"},
      {"the box ticked twice is clear",
       "60",
       "",
       "dialog 103\nclick 1004\nclick 1004\n",
       {"open 103", "text 103 1008 " + ntscText(60), "state 103 1004=0", "state 103 1004=1",
        "state 103 1004=0", "close 103 0"},
       "1"},
      {"a script for another dialog leaves this one without actions",
       "60",
       "",
       "dialog 102\nclick 1004\n",
       {"open 103", "text 103 1008 " + ntscText(60), "state 103 1004=0", "close 103 0"},
       "1"},
      {"PAL at 50 Hz", "50", "0", "", {}, "1"},
      {"PAL at 75 Hz", "75", "0", "", {}, "1"},
      {"PAL at 100 Hz", "100", "0", "", {}, "1"},
      {"PAL at 60 Hz",
       "60",
       "0",
       "",
       {"open 103",
        "text 103 1008 Your monitor refresh rate is 60 Hz, your current output setting is set for 25.000000 "
        "Hz. "
        "For optimal onscreen viewing performance, the monitor refresh rate should be a multiple of the "
        "output "
        "setting, eg. 50 Hz, 75 Hz, 100 Hz",
        "state 103 1004=0", "close 103 0"},
       "1"},
      {"rate 1: the display's default", "1", "", "", {}, "1"},
      {"rate 0", "0", "", "", {}, "1"},
  };
  for (const auto& c : cases) {
    const Load load = loadWith(c.refresh, c.videoMode, c.script);
    EXPECT_EQ(load.dialogLog, c.log) << c.name;
    EXPECT_EQ(load.storedKey, c.stored) << c.name;
  }
}

TEST(WarningDialog, OptingOutEndsTheWarningsOfLaterLoads) {
  Sandbox box;
  const auto scriptPath = box.dir() / "dialogs.txt";
  const auto logPath = box.dir() / "dialogs.log";
  box.writeFile(scriptPath, "dialog 103\nclick 1004\nclick 1\n");
  const auto env = box.environment({{"CORVANE_REFRESH_HZ", "60"},
                                    {"CORVANE_DIALOGS", "script:" + scriptPath.string()},
                                    {"CORVANE_DIALOG_LOG", logPath.string()}});
  ASSERT_EQ(runWithPlugin(env, loadOnly).exitCode, 0);
  ASSERT_EQ(runWithPlugin(env, loadOnly).exitCode, 0);
  const auto log = box.readLines(logPath);
  EXPECT_EQ(std::count(log.begin(), log.end(), "open 103"), 1);
  EXPECT_EQ(storedWarningKey(box), "0");
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
