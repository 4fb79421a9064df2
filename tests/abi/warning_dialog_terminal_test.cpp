// The refresh-rate warning's terminal front end through the real plug-in, in
// a pseudo-terminal: the keys tick the box and press OK, and a host ended
// while the warning is up leaves the terminal as it was.
#include <gtest/gtest.h>

#include <csignal>

#include "abi/plugin_process.h"
#include "abi/refresh_warning.h"
#include "host/plugin_loader.h"
#include "support/pty_child.h"

namespace corvane::abi {
namespace {

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
