// corvane-host settings --set: checked against the keys the plug-in reads,
// stored where the plug-in will find them at its next load.
#include <string>
#include <vector>

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

// The dialogs as a user runs them, scripted here; what they changed is what
// "settings --show" shows afterwards.
TEST_F(HostSettings, TheDialogCommandsSaveWhatWasChanged) {
  box_.writeFile(box_.iniPath(), "[VideoCorvane Configuration]\nVeltrixScryIn=0\n");
  struct Case {
    const char* command;
    const char* script;
    std::vector<std::string> shown;
  };
  for (const Case& c : {Case{"output-settings",
                             "dialog 102\nclick 1013\nclick 1019\nset 1017 -12.9\n",
                             {"Output=1", "OutputFilter=1", "SCPhase=-12"}},
                        Case{"input-settings",
                             "dialog 101\nclick 1010\nset 1001 50\n",
                             {"Input=3", "Contrast_SDI=50", "Contrast_Composite=44"}}}) {
    box_.writeFile(at("dialogs.txt"), c.script);
    const HostRun run =
        host(c.command, "",
             {{"CORVANE_DIALOGS", "script:" + at("dialogs.txt")}, {"CORVANE_DIALOG_LOG", at("dialogs.log")}});
    EXPECT_EQ(run.exitCode, 0) << c.command << ": " << run.err;
    const auto log = box_.readLines(at("dialogs.log"));
    ASSERT_FALSE(log.empty()) << c.command;
    EXPECT_EQ(log.back().rfind("close ", 0), 0u) << c.command;
    const HostRun shown = host("settings --show");
    for (const auto& key : c.shown) EXPECT_NE(shown.out.find("  " + key + "\n"), std::string::npos) << key;
  }
  EXPECT_EQ(host("output-settings now").exitCode, 2);
}

}  // namespace
}  // namespace corvane::abi
