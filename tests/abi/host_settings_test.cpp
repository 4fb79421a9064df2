// corvane-host settings --set: checked against the keys the plug-in reads,
// stored where the plug-in will find them at its next load.
#include <filesystem>
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
  ASSERT_EQ(host("settings --set VideoMode=pal").exitCode, 0);
  const HostRun shown = host("settings --show");
  EXPECT_NE(shown.out.find("VideoMode=0"), std::string::npos) << "kept over a load: " << shown.out;
}

TEST_F(HostSettings, RefusedValuesChangeNothing) {
  ASSERT_EQ(host("settings --show").exitCode, 0);
  const std::string before = box_.readFile(box_.iniPath());
  for (const char* assignment : {"VideoMode=secam", "VideoMode=2", "OutputFilter=4", "SCPhase=128",
                                 "Pedestal=yes", "Contrast_HDMI=1", "NoSuchKey=1", "=1", "VideoMode",
                                 // beyond the input dialog's sliders
                                 "Contrast_Composite=999", "uoffset_sdi=-128", "Hue_YC=x"}) {
    const HostRun run = host(std::string("settings --set OutputFilter=1 --set ") + assignment);
    EXPECT_EQ(run.exitCode, 2) << assignment << ": " << run.err;
    EXPECT_TRUE(oneLineError(run)) << assignment << ": " << run.err;
  }
  EXPECT_EQ(box_.readFile(box_.iniPath()), before);
  const HostRun help = host("settings --help");
  for (const char* key : {"VideoMode", "OutputFilter", "SCPhase", "Refresh Rate Warning", "HYPK"})
    EXPECT_NE(help.out.find(key), std::string::npos) << key;
}

// Settings files and spellings a user comes up with: each is one clear
// answer, never an internal error or the same complaint three times.
TEST_F(HostSettings, OddFilesAndSpellingsGetOneClearAnswer) {
  struct Case {
    const char* name;
    const char* ini;  // the settings file before; null: none
    bool readOnly;    // no write bit at all, which binds root too
    const char* command;
    int exitCode;
    const char* said;   // in the one line on stderr; null: stderr stays empty
    const char* shown;  // in settings --show afterwards; null: not checked
  };
  box_.writeFile(at("dialogs.txt"), "dialog 101\n");
  const std::map<std::string, std::string> dialogs{{"CORVANE_DIALOGS", "script:" + at("dialogs.txt")}};
  const Case cases[] = {
      {"a source beyond the four", "[VideoCorvane Configuration]\nInput=7\nVeltrixScryIn=0\n", false,
       "input-settings", 0, nullptr, "  Input=0\n"},
      {"the mode in capitals", nullptr, false, "--video-mode PAL descriptors", 0, nullptr, nullptr},
      {"the mode in capitals after the command", nullptr, false, "descriptors --video-mode Ntsc", 0, nullptr,
       nullptr},
      {"a file that cannot be saved", "[VideoCorvane Configuration]\nOutput=1\n", true,
       "settings --set OutputFilter=1", 1, "Permission denied", "  Output=1\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(box_.iniPath());
    if (c.ini != nullptr) box_.writeFile(box_.iniPath(), c.ini);
    if (c.readOnly) std::filesystem::permissions(box_.iniPath(), std::filesystem::perms::owner_read);
    const HostRun run = host(c.command, "", dialogs);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    if (c.said == nullptr) {
      EXPECT_EQ(run.err, "");
    } else {
      EXPECT_TRUE(oneLineError(run)) << run.err;
      EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
    }
    if (c.shown != nullptr) {
      const HostRun shown = host("settings --show");
      EXPECT_NE(shown.out.find(c.shown), std::string::npos) << shown.out;
    }
    if (c.readOnly) std::filesystem::permissions(box_.iniPath(), std::filesystem::perms::owner_all);
  }
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
