// Where corvane-host finds the plug-in when started as users start it:
// installed under a prefix and found on PATH or through a link, or copied
// somewhere on its own; and what it says of a plug-in that lacks an export.
#include <filesystem>

#include "abi/host_runner.h"

namespace corvane::abi {
namespace {

namespace fs = std::filesystem;

using HostInstall = HostTest;

TEST_F(HostInstall, ThePluginIsFoundBesideTheRealHostOrInLibThenThroughCorvanePlugin) {
  const std::string prefix = at("prefix");
  const HostRun install =
      shell("'" CORVANE_CMAKE_COMMAND "' --install '" CORVANE_BUILD_DIR "' --prefix '" + prefix + "'");
  ASSERT_EQ(install.exitCode, 0) << install.err;
  fs::create_directories(at("links"));
  fs::create_symlink(prefix + "/bin/corvane-host", at("links/vh"));
  fs::create_directories(at("alone"));
  fs::copy_file(CORVANE_HOST_PATH, at("alone/corvane-host"));
  const std::string alone = quoted("alone/corvane-host");
  struct Case {
    std::string command;
    bool loads;
  };
  for (const Case& c : std::initializer_list<Case>{
           {"PATH='" + prefix + "/bin':\"$PATH\" corvane-host descriptors", true},
           {"PATH=" + quoted("links") + ":\"$PATH\" vh descriptors", true},
           {"cd " + quoted("") + " && links/vh descriptors", true},
           {"CORVANE_PLUGIN=" + quoted("nowhere.so") + " '" CORVANE_HOST_PATH "' descriptors", true},
           {"CORVANE_PLUGIN='" CORVANE_PLUGIN_PATH "' " + alone + " descriptors", true},
           {alone + " descriptors", false}}) {
    const HostRun run = shell(c.command);
    EXPECT_EQ(run.exitCode == 0, c.loads) << c.command << "\n" << run.err;
    for (const char* expected : {"\"Video Corvane QVF File Input\"", "\"Video Corvane QVF File Output\"",
                                 "\"Video Corvane Output Device\"", "\"Video Corvane Record Device\"",
                                 "6155CBD3-C294-11d2-BA18-004005A189AE", "\"Video Corvane - qvf\""})
      EXPECT_EQ(run.out.find(expected) != std::string::npos, c.loads) << c.command << ": " << expected;
    // A failure names where the plug-in was expected.
    EXPECT_EQ(run.err.find(at("alone/libavfile.so")) != std::string::npos, !c.loads) << run.err;
  }
}

TEST_F(HostInstall, APluginLackingAnExportIsNamedForIt) {
  const HostRun run = host("--plugin '" CORVANE_STUB_PLUGIN_PATH "' descriptors");
  EXPECT_NE(run.exitCode, 0);
  EXPECT_NE(run.err.find("does not export AVFILE_CloseInterfaceReading"), std::string::npos) << run.err;
}

}  // namespace
}  // namespace corvane::abi
