// The output settings dialog's terminal front end through the real plug-in,
// in a pseudo-terminal.
#include <gtest/gtest.h>

#include "abi/output_dialog_records.h"
#include "abi/plugin_process.h"
#include "host/plugin_loader.h"
#include "support/pty_child.h"

namespace corvane::abi {
namespace {

TEST(OutputDialogTerminal, AtATerminalTheKeysChangeTheSource) {
  Sandbox box;
  box.writeFile(box.iniPath(), "[VideoCorvane Configuration]\nVeltrixScryOut=0\n");
  testing::PtyChild child(box.environment({{"CORVANE_DIALOGS", "tty"}}), [] {
    host::LoadedPlugin plugin(CORVANE_PLUGIN_PATH);
    const int shown = openDialog(plugin.api(), 1);
    plugin.unload();
    return shown == 1 ? 0 : 3;
  });
  ASSERT_TRUE(child.waitFor("< Close >")) << child.allOutput();
  const std::string screen = child.takeOutput();
  EXPECT_NE(screen.find(">(*) Component"), std::string::npos) << screen;  // focus on the source
  EXPECT_NE(screen.find("[*2*]"), std::string::npos) << screen;
  child.type("\x1b[B");
  ASSERT_TRUE(child.waitFor(">( ) Y/C")) << child.allOutput();
  child.type(" ");
  ASSERT_TRUE(child.waitFor(">(*) Y/C")) << child.allOutput();
  child.type("\x1b");
  const int status = child.wait();
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(iniKey(box.readFile(box.iniPath()), "Output"), "1");
}

}  // namespace
}  // namespace corvane::abi
