// corvane-host settings --set: checked against the keys the plug-in reads,
// stored where the plug-in will find them at its next load.
#include <string>

#include "abi/host_runner.h"

namespace corvane::abi {
namespace {

using HostSettings = HostTest;

TEST_F(HostSettings, AcceptedValuesReachTheFileAndTheNextLoad) {
  struct Case {
    const char* assignment;
    const char* stored;
  };
  for (const Case& c : {Case{"VideoMode=pal", "VideoMode=0"}, Case{"videomode=NTSC", "VideoMode=1"},
                        Case{"OutputFilter=3", "OutputFilter=3"}, Case{"--set=SCPhase=-127", "SCPhase=-127"},
                        Case{"contrast_sdi=40", "Contrast_SDI=40"}}) {
    const std::string option = std::string(c.assignment).rfind("--", 0) == 0 ? "" : "--set ";
    const HostRun run = host("settings " + option + c.assignment + " --show");
    EXPECT_EQ(run.exitCode, 0) << c.assignment << ": " << run.err;
    EXPECT_NE(run.out.find(std::string("  ") + c.stored + "\n"), std::string::npos) << run.out;
  }
  const HostRun shown = host("settings --set VideoMode=pal && " + shellCommand("settings --show"));
  EXPECT_NE(shown.out.find("VideoMode=0"), std::string::npos) << "kept over a load: " << shown.out;
}

TEST_F(HostSettings, RefusedValuesChangeNothing) {
  ASSERT_EQ(host("settings --show").exitCode, 0);
  const std::string before = box_.readFile(box_.iniPath());
  for (const char* assignment : {"VideoMode=secam", "VideoMode=2", "OutputFilter=4", "SCPhase=128",
                                 "Pedestal=yes", "Contrast_HDMI=1", "NoSuchKey=1", "=1", "VideoMode"}) {
    const HostRun run = host(std::string("settings --set OutputFilter=1 --set ") + assignment);
    EXPECT_EQ(run.exitCode, 2) << assignment << ": " << run.err;
    EXPECT_TRUE(oneLineError(run)) << assignment << ": " << run.err;
  }
  EXPECT_EQ(box_.readFile(box_.iniPath()), before);
  const HostRun help = host("settings --help");
  for (const char* key : {"VideoMode", "OutputFilter", "SCPhase", "Refresh Rate Warning", "HYPK"})
    EXPECT_NE(help.out.find(key), std::string::npos) << key;
}

}  // namespace
}  // namespace corvane::abi
