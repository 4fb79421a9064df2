// The output settings dialog through the real plug-in, scripted: what it
// ticks, what it pushes to the board, what it stores, and what it leaves alone.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "abi/plugin_process.h"
#include "host/plugin_loader.h"
#include "support/pty_child.h"

namespace corvane::abi {
namespace {

using host::AvfileApi;
using host::RecordBuffer;

constexpr std::size_t kSinkRecordHeight = 4 + 8;  // first offered format's frame height

std::string iniKey(const std::string& ini, const std::string& key) {
  std::smatch match;
  const std::regex pattern("\n" + key + "=([^\r\n]*)");
  return std::regex_search(ini, match, pattern) ? match[1].str() : "(missing)";
}

std::int32_t openDialog(const AvfileApi& api, std::uint32_t flags) {
  RecordBuffer settings(16, 0);
  settings.setU32(4, flags);
  return api.AVFILE_SetSinkSettings(settings.data());
}

// The frame height the output device offers, from a device opened after the dialog.
std::uint32_t offeredHeight(const AvfileApi& api) {
  RecordBuffer descriptor(324);
  descriptor.setU32(0, 324);
  if (api.AVFILE_QueryInterfaceSink(descriptor.data()) != 1) return 0;
  RecordBuffer chosen(236, 0);
  RecordBuffer structure(24, 0);
  RecordBuffer params(52, 0);
  params.setAddress(24, chosen.data());
  params.setAddress(48, structure.data());
  void* handle = nullptr;
  std::uint32_t height = 0;
  if (api.AVFILE_OpenSink(&handle, params.data()) == 1) {
    std::uint32_t value = 0;
    std::memcpy(&value, static_cast<std::uint8_t*>(handle) + kSinkRecordHeight, 4);
    height = value;
    api.AVFILE_CloseSink(handle);
  }
  api.AVFILE_CloseInterfaceSink(nullptr);
  return height;
}

struct DialogRun {
  std::vector<std::string> dialogLog;
  std::vector<std::string> boardCalls;  // those after the load's, before the unload's
  std::string ini;
  std::uint32_t heightAfter = 0;
};

class OutputDialog : public ::testing::Test {
 protected:
  // Loads the plug-in with keys in the settings file, opens the dialog with
  // script, and unloads.
  DialogRun run(const std::string& keys, const std::string& script, bool openDevice = false,
                const std::function<void(const Sandbox&)>& beforeDialog = {}) {
    const std::string ini = "[VideoCorvane Configuration]\nVeltrixScryOut=0\n" + keys;
    const std::size_t loadCalls = baselineCalls(ini);
    Sandbox box;
    box.writeFile(box.iniPath(), ini);
    const auto scriptPath = box.dir() / "dialogs.txt";
    const auto logPath = box.dir() / "dialogs.log";
    const auto heightPath = box.dir() / "height.txt";
    box.writeFile(scriptPath, script);
    const ChildOutcome outcome =
        runWithPlugin(box.environment({{"CORVANE_DIALOGS", "script:" + scriptPath.string()},
                                       {"CORVANE_DIALOG_LOG", logPath.string()}}),
                      [&](const AvfileApi& api) {
                        if (beforeDialog) beforeDialog(box);
                        if (openDialog(api, 1) != 1) return 3;
                        if (openDevice) box.writeFile(heightPath, std::to_string(offeredHeight(api)));
                        return 0;
                      });
    EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.exitCode;
    DialogRun result;
    result.dialogLog = box.readLines(logPath);
    const auto calls = box.readLines(box.boardLog());
    if (calls.size() > loadCalls) result.boardCalls.assign(calls.begin() + loadCalls, calls.end() - 1);
    result.ini = box.readFile(box.iniPath());
    if (openDevice) result.heightAfter = static_cast<std::uint32_t>(std::stoul(box.readFile(heightPath)));
    EXPECT_EQ(box.readFile(box.messageLog()), "");
    return result;
  }

 private:
  static std::size_t baselineCalls(const std::string& ini) {
    Sandbox box;
    box.writeFile(box.iniPath(), ini);
    EXPECT_EQ(runWithPlugin(box.environment(), [](const AvfileApi&) { return 0; }).exitCode, 0);
    return box.readLines(box.boardLog()).size() - 1;  // less the unload's CloseSwitcher
  }
};

std::string state(const std::string& ticks) { return "state 102" + ticks; }

const std::vector<std::string> kDefaultPush = {
    "SetOutputControl control.format 5 1", "SetOutputControl control.filter 5 2",
    "SetOutputControl control.pedestal 5 1", "SetInputControl control.pedestal 5 1",
    "SetOutputControl control.scphase 5 0"};

constexpr const char* kDefaultState =
    " 1012=1 1013=0 1005=1 1006=0 1007=1 1008=0 1004=0 1016=0 1017=0 1018=0 1019=0 1020=1 1021=0";

TEST_F(OutputDialog, OpeningWithTheDefaultsTicksAndPushesThem) {
  const DialogRun r = run("", "");
  EXPECT_EQ(r.dialogLog, (std::vector<std::string>{"open 102", state(kDefaultState), "close 102 0"}));
  EXPECT_EQ(r.boardCalls, kDefaultPush);
}

TEST_F(OutputDialog, FlagBitZeroClearShowsNothing) {
  Sandbox box;
  const auto logPath = box.dir() / "dialogs.log";
  const ChildOutcome outcome =
      runWithPlugin(box.environment({{"CORVANE_DIALOGS", "none"}, {"CORVANE_DIALOG_LOG", logPath.string()}}),
                    [](const AvfileApi& api) {
                      if (openDialog(api, 0xFFFFFFFE) != 1) return 3;
                      return api.AVFILE_SetSinkSettings(nullptr) == 0 ? 0 : 4;
                    });
  EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.exitCode;
  EXPECT_FALSE(std::filesystem::exists(logPath));
}

TEST_F(OutputDialog, EachControlPushesOrStoresWhatItShould) {
  const auto withDefaults = [](std::vector<std::string> more) {
    std::vector<std::string> calls = kDefaultPush;
    calls.insert(calls.end(), more.begin(), more.end());
    return calls;
  };
  const struct {
    const char* name;
    std::string keys;
    std::string script;
    std::string lastState;
    std::vector<std::string> boardCalls;
    std::map<std::string, std::string> stored;
  } cases[] = {
      {"filter 3 ticks only its box",
       "",
       "dialog 102\nclick 1021\n",
       " 1012=1 1013=0 1005=1 1006=0 1007=1 1008=0 1004=0 1016=0 1017=0 1018=0 1019=0 1020=0 1021=1",
       withDefaults({"SetOutputControl control.format 5 1", "SetOutputControl control.filter 5 3",
                     "SetOutputControl control.pedestal 5 1", "SetInputControl control.pedestal 5 1",
                     "SetOutputControl control.scphase 5 0"}),
       {{"OutputFilter", "3"}}},
      {"the current filter clicked stays ticked and pushes nothing",
       "",
       "dialog 102\nclick 1020\n",
       kDefaultState,
       kDefaultPush,
       {{"OutputFilter", "2"}}},
      {"SC phase typed is truncated toward zero",
       "",
       "dialog 102\nset 1017 -12.9\n",
       " 1012=1 1013=0 1005=1 1006=0 1007=1 1008=0 1004=0 1016=-12.9 1017=-12.9 1018=0 1019=0 1020=1 1021=0",
       withDefaults({"SetOutputControl control.format 5 1", "SetOutputControl control.filter 5 2",
                     "SetOutputControl control.pedestal 5 1", "SetInputControl control.pedestal 5 1",
                     "SetOutputControl control.scphase 5 -12"}),
       {{"SCPhase", "-12"}}},
      {"the slider moves the same variable",
       "",
       "dialog 102\nset 1016 -12.9\n",
       " 1012=1 1013=0 1005=1 1006=0 1007=1 1008=0 1004=0 1016=-12.9 1017=-12.9 1018=0 1019=0 1020=1 1021=0",
       withDefaults({"SetOutputControl control.format 5 1", "SetOutputControl control.filter 5 2",
                     "SetOutputControl control.pedestal 5 1", "SetInputControl control.pedestal 5 1",
                     "SetOutputControl control.scphase 5 -12"}),
       {{"SCPhase", "-12"}}},
      {"the current source clicked pushes once and causes no refresh",
       "",
       "dialog 102\nclick 1012\n",
       kDefaultState,
       withDefaults({"SetOutputControl control.format 5 1", "SetOutputControl control.filter 5 2",
                     "SetOutputControl control.pedestal 5 1", "SetInputControl control.pedestal 5 1"}),
       {{"Output", "0"}}},
      {"Y/C pushes format 0 before the source changes, then the whole set",
       "",
       "dialog 102\nclick 1013\n",
       " 1012=0 1013=1 1005=1 1006=0 1007=1 1008=0 1004=0 1016=0 1017=0 1018=0 1019=0 1020=1 1021=0",
       withDefaults({"SetOutputControl control.format 5 0", "SetOutputControl control.filter 5 2",
                     "SetOutputControl control.pedestal 5 1", "SetInputControl control.pedestal 5 1",
                     "SetOutputControl control.format 5 0", "SetOutputControl control.filter 5 2",
                     "SetOutputControl control.pedestal 5 1", "SetInputControl control.pedestal 5 1",
                     "SetOutputControl control.scphase 5 0"}),
       {{"Output", "1"}}},
      {"the pedestal box removes the pedestal on both sides",
       "",
       "dialog 102\nclick 1004\n",
       " 1012=1 1013=0 1005=1 1006=0 1007=1 1008=0 1004=1 1016=0 1017=0 1018=0 1019=0 1020=1 1021=0",
       withDefaults({"SetOutputControl control.format 5 1", "SetOutputControl control.filter 5 2",
                     "SetOutputControl control.pedestal 5 0", "SetInputControl control.pedestal 5 0",
                     "SetOutputControl control.scphase 5 0"}),
       {{"Pedestal", "0"}}},
      {"the preview box is stored and nothing pushed",
       "",
       "dialog 102\nclick 1006\n",
       " 1012=1 1013=0 1005=1 1006=1 1007=1 1008=0 1004=0 1016=0 1017=0 1018=0 1019=0 1020=1 1021=0",
       kDefaultPush,
       {{"VeltrixScryOut", "1"}}},
      {"stored values are what the dialog opens with",
       "Output=1\nPedestal=0\nOutputFilter=0\nSCPhase=7\nVideoMode=0\nForceNoFrameDrop=0\n",
       "",
       " 1012=0 1013=1 1005=0 1006=0 1007=0 1008=1 1004=1 1016=7 1017=7 1018=1 1019=0 1020=0 1021=0",
       {"SetOutputControl control.format 5 0", "SetOutputControl control.filter 5 0",
        "SetOutputControl control.pedestal 5 0", "SetInputControl control.pedestal 5 0",
        "SetOutputControl control.scphase 5 7"},
       {{"ForceNoFrameDrop", "0"}}},
  };
  for (const auto& c : cases) {
    const DialogRun r = run(c.keys, c.script);
    ASSERT_GE(r.dialogLog.size(), 3u) << c.name;
    EXPECT_EQ(r.dialogLog.front(), "open 102") << c.name;
    EXPECT_EQ(r.dialogLog[r.dialogLog.size() - 2], state(c.lastState)) << c.name;
    EXPECT_EQ(r.dialogLog.back(), "close 102 0") << c.name;
    EXPECT_EQ(r.boardCalls, c.boardCalls) << c.name;
    for (const auto& [key, value] : c.stored) EXPECT_EQ(iniKey(r.ini, key), value) << c.name << " " << key;
  }
}

// The unload does not save this key, so only the clicks can have written it.
TEST_F(OutputDialog, FrameDroppingIsWrittenAtEveryClick) {
  const DialogRun r =
      run("ForceNoFrameDrop=1\n", "dialog 102\nclick 1005\nclick 1005\n", false, [](const Sandbox& box) {
        box.writeFile(box.iniPath(), "[VideoCorvane Configuration]\nVeltrixScryOut=0\nForceNoFrameDrop=7\n");
      });
  EXPECT_EQ(r.dialogLog[r.dialogLog.size() - 3], state(std::string(kDefaultState).replace(15, 6, "1005=0")));
  EXPECT_EQ(r.dialogLog[r.dialogLog.size() - 2], state(kDefaultState));
  EXPECT_EQ(iniKey(r.ini, "ForceNoFrameDrop"), "1");
  EXPECT_EQ(r.boardCalls.size(), kDefaultPush.size() * 3);
}

TEST_F(OutputDialog, PalWaitsForTheNextLoad) {
  const DialogRun r = run("", "dialog 102\nclick 1008\nclose\n", true);
  EXPECT_EQ(
      r.dialogLog[r.dialogLog.size() - 2],
      state(" 1012=1 1013=0 1005=1 1006=0 1007=0 1008=1 1004=0 1016=0 1017=0 1018=0 1019=0 1020=1 1021=0"));
  EXPECT_EQ(r.heightAfter, 480u);
  EXPECT_EQ(iniKey(r.ini, "VideoMode"), "0");
  // The change of standard pushes the output controls again, as any change does.
  std::vector<std::string> twice = kDefaultPush;
  twice.insert(twice.end(), kDefaultPush.begin(), kDefaultPush.end());
  ASSERT_GE(r.boardCalls.size(), twice.size());
  EXPECT_EQ(std::vector<std::string>(r.boardCalls.begin(), r.boardCalls.begin() + 10), twice);
}

TEST_F(OutputDialog, AtATerminalTheKeysChangeTheSource) {
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
