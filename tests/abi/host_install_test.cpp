// Where corvane-host finds the plug-in when it is started as users start it:
// installed under a prefix and found on PATH or through a link, or copied
// somewhere on its own.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "abi/shell_run.h"

namespace corvane::abi {
namespace {

namespace fs = std::filesystem;

constexpr const char* kInputDescriptor = "\"Video Corvane QVF File Input\"";

TEST(HostInstall, AnInstalledHostFindsItsPluginThroughPathAndThroughALink) {
  Sandbox box;
  const fs::path prefix = box.dir() / "prefix";
  const ShellRun install =
      runShell(box, "'" CORVANE_CMAKE_COMMAND "' --install '" CORVANE_BUILD_DIR "' --prefix '" +
                        prefix.string() + "'");
  ASSERT_EQ(install.exitCode, 0) << install.err;
  ASSERT_TRUE(fs::is_regular_file(prefix / "bin/corvane-host"));
  ASSERT_TRUE(fs::is_regular_file(prefix / "lib/libavfile.so"));
  fs::create_directories(box.dir() / "links");
  fs::create_symlink(prefix / "bin/corvane-host", box.dir() / "links/vh");

  for (const std::string& command :
       {"PATH='" + (prefix / "bin").string() + "':\"$PATH\" corvane-host descriptors",
        "cd '" + box.dir().string() + "' && links/vh descriptors",
        "PATH='" + (box.dir() / "links").string() + "':\"$PATH\" vh descriptors"}) {
    const ShellRun run = runShell(box, command);
    EXPECT_EQ(run.exitCode, 0) << command << "\n" << run.err;
    EXPECT_NE(run.out.find(kInputDescriptor), std::string::npos) << command;
  }
}

TEST(HostInstall, APluginBesideTheHostComesFirstThenCorvanePlugin) {
  Sandbox box;
  const fs::path alone = box.dir() / "alone/corvane-host";
  fs::create_directories(alone.parent_path());
  fs::copy_file(CORVANE_HOST_PATH, alone);
  struct Case {
    std::string command;
    bool loads;
  };
  const std::string missing = (box.dir() / "nowhere/libavfile.so").string();
  for (const Case& c : std::initializer_list<Case>{
           {"CORVANE_PLUGIN='" + missing + "' '" CORVANE_HOST_PATH "' descriptors", true},
           {"CORVANE_PLUGIN='" CORVANE_PLUGIN_PATH "' '" + alone.string() + "' descriptors", true},
           {"'" + alone.string() + "' descriptors", false},
       }) {
    const ShellRun run = runShell(box, c.command);
    EXPECT_EQ(run.exitCode == 0, c.loads) << c.command << "\n" << run.err;
    if (!c.loads) {  // the user learns where the plug-in was expected
      EXPECT_NE(run.err.find((alone.parent_path() / "libavfile.so").string()), std::string::npos) << run.err;
    }
  }
}

}  // namespace
}  // namespace corvane::abi
