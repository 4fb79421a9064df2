// Where corvane-host finds the plug-in when started as users start it:
// installed under a prefix and found on PATH or through a link, or copied
// somewhere on its own.
#include <gtest/gtest.h>

#include <filesystem>

#include "abi/shell_run.h"

namespace corvane::abi {
namespace {

namespace fs = std::filesystem;

TEST(HostInstall, ThePluginIsFoundBesideTheRealHostOrInLibThenThroughCorvanePlugin) {
  Sandbox box;
  const std::string dir = box.dir().string(), prefix = dir + "/prefix";
  const ShellRun install = runShell(
      box, "'" CORVANE_CMAKE_COMMAND "' --install '" CORVANE_BUILD_DIR "' --prefix '" + prefix + "'");
  ASSERT_EQ(install.exitCode, 0) << install.err;
  fs::create_directories(dir + "/links");
  fs::create_symlink(prefix + "/bin/corvane-host", dir + "/links/vh");
  fs::create_directories(dir + "/alone");
  fs::copy_file(CORVANE_HOST_PATH, dir + "/alone/corvane-host");
  const std::string missing = "CORVANE_PLUGIN='" + dir + "/nowhere.so' ";
  struct Case {
    std::string command;
    bool loads;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"PATH='" + prefix + "/bin':\"$PATH\" corvane-host descriptors", true},
           {"PATH='" + dir + "/links':\"$PATH\" vh descriptors", true},
           {"cd '" + dir + "' && links/vh descriptors", true},
           {missing + "'" CORVANE_HOST_PATH "' descriptors", true},  // beside the host comes first
           {"CORVANE_PLUGIN='" CORVANE_PLUGIN_PATH "' '" + dir + "/alone/corvane-host' descriptors", true},
           {"'" + dir + "/alone/corvane-host' descriptors", false}}) {
    const ShellRun run = runShell(box, c.command);
    EXPECT_EQ(run.exitCode == 0, c.loads) << c.command << "\n" << run.err;
    EXPECT_EQ(run.out.find("\"Video Corvane QVF File Input\"") != std::string::npos, c.loads) << c.command;
    // A failure names where the plug-in was expected.
    EXPECT_EQ(run.err.find(dir + "/alone/libavfile.so") != std::string::npos, !c.loads) << run.err;
  }
}

}  // namespace
}  // namespace corvane::abi
