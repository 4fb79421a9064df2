// The output settings dialog through the real plug-in, scripted: what it
// ticks, what it pushes to the board, what it stores, and what it leaves alone.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "abi/output_dialog_records.h"
#include "abi/plugin_process.h"
#include "host/plugin_loader.h"

namespace corvane::abi {
namespace {

using host::AvfileApi;
using host::RecordBuffer;

constexpr std::size_t kSinkRecordHeight = 4 + 8;  // first offered format's frame height

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

// The board calls one push of the output controls makes (the SC phase last,
// left out when the source button pushes).
std::vector<std::string> push(int format, int filter, int pedestal, std::optional<int> scphase) {
  std::vector<std::string> calls = {"SetOutputControl control.format 5 " + std::to_string(format),
                                    "SetOutputControl control.filter 5 " + std::to_string(filter),
                                    "SetOutputControl control.pedestal 5 " + std::to_string(pedestal),
                                    "SetInputControl control.pedestal 5 " + std::to_string(pedestal)};
  if (scphase) calls.push_back("SetOutputControl control.scphase 5 " + std::to_string(*scphase));
  return calls;
}
std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
const std::vector<std::string> kDefaultPush = push(1, 2, 1, 0);

// The dialog log's state line: the defaults with some controls changed.
std::string state(const std::vector<std::pair<int, std::string>>& changed = {}) {
  std::vector<std::pair<int, std::string>> controls = {
      {1012, "1"}, {1013, "0"}, {1005, "1"}, {1006, "0"}, {1007, "1"}, {1008, "0"}, {1004, "0"},
      {1016, "0"}, {1017, "0"}, {1018, "0"}, {1019, "0"}, {1020, "1"}, {1021, "0"}};
  std::string line = "state 102";
  for (auto& [id, value] : controls) {
    for (const auto& [changedId, changedValue] : changed)
      if (changedId == id) value = changedValue;
    line += " " + std::to_string(id) + "=" + value;
  }
  return line;
}

TEST_F(OutputDialog, OpeningWithTheDefaultsTicksAndPushesThem) {
  const DialogRun r = run("", "");
  EXPECT_EQ(r.dialogLog, (std::vector<std::string>{"open 102", state(), "close 102 0"}));
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

// Each script names what it checks: filter 3 ticks only its box; the current
// filter or source clicked pushes nothing new (the source pushes once, with no
// refresh); SC phase, typed or slid, is truncated toward zero; Y/C pushes
// format 0 before the source changes, then the whole set; the pedestal box
// removes the pedestal on both sides; the preview box is only stored.
TEST_F(OutputDialog, EachControlPushesOrStoresWhatItShould) {
  using Ticks = std::vector<std::pair<int, std::string>>;
  const struct {
    std::string script;
    Ticks ticks;
    std::vector<std::string> boardCalls;  // after the opening's push
    std::pair<std::string, std::string> stored;
  } cases[] = {
      {"click 1021", {{1020, "0"}, {1021, "1"}}, push(1, 3, 1, 0), {"OutputFilter", "3"}},
      {"click 1020", {}, {}, {"OutputFilter", "2"}},
      {"set 1017 -12.9", {{1016, "-12.9"}, {1017, "-12.9"}}, push(1, 2, 1, -12), {"SCPhase", "-12"}},
      {"set 1016 -12.9", {{1016, "-12.9"}, {1017, "-12.9"}}, push(1, 2, 1, -12), {"SCPhase", "-12"}},
      {"click 1012", {}, push(1, 2, 1, std::nullopt), {"Output", "0"}},
      {"click 1013",
       {{1012, "0"}, {1013, "1"}},
       push(0, 2, 1, std::nullopt) + push(0, 2, 1, 0),
       {"Output", "1"}},
      {"click 1004", {{1004, "1"}}, push(1, 2, 0, 0), {"Pedestal", "0"}},
      {"click 1006", {{1006, "1"}}, {}, {"VeltrixScryOut", "1"}},
  };
  for (const auto& c : cases) {
    const DialogRun r = run("", "dialog 102\n" + c.script + "\n");
    ASSERT_GE(r.dialogLog.size(), 3u) << c.script;
    EXPECT_EQ(r.dialogLog[r.dialogLog.size() - 2], state(c.ticks)) << c.script;
    EXPECT_EQ(r.dialogLog.back(), "close 102 0") << c.script;
    EXPECT_EQ(r.boardCalls, kDefaultPush + c.boardCalls) << c.script;
    EXPECT_EQ(iniKey(r.ini, c.stored.first), c.stored.second) << c.script;
  }
}

TEST_F(OutputDialog, StoredValuesAreWhatTheDialogOpensWith) {
  const DialogRun r =
      run("Output=1\nPedestal=0\nOutputFilter=0\nSCPhase=7\nVideoMode=0\nForceNoFrameDrop=0\n", "");
  EXPECT_EQ(r.dialogLog[1], state({{1012, "0"},
                                   {1013, "1"},
                                   {1005, "0"},
                                   {1007, "0"},
                                   {1008, "1"},
                                   {1004, "1"},
                                   {1016, "7"},
                                   {1017, "7"},
                                   {1018, "1"},
                                   {1020, "0"}}));
  EXPECT_EQ(r.boardCalls, push(0, 0, 0, 7));
}

// The unload does not save this key, so only the clicks can have written it.
TEST_F(OutputDialog, FrameDroppingIsWrittenAtEveryClick) {
  const DialogRun r =
      run("ForceNoFrameDrop=1\n", "dialog 102\nclick 1005\nclick 1005\n", false, [](const Sandbox& box) {
        box.writeFile(box.iniPath(), "[VideoCorvane Configuration]\nVeltrixScryOut=0\nForceNoFrameDrop=7\n");
      });
  EXPECT_EQ(r.dialogLog[r.dialogLog.size() - 3], state({{1005, "0"}}));
  EXPECT_EQ(r.dialogLog[r.dialogLog.size() - 2], state());
  EXPECT_EQ(iniKey(r.ini, "ForceNoFrameDrop"), "1");
  EXPECT_EQ(r.boardCalls.size(), kDefaultPush.size() * 3);
}

TEST_F(OutputDialog, PalWaitsForTheNextLoad) {
  const DialogRun r = run("", "dialog 102\nclick 1008\nclose\n", true);
  EXPECT_EQ(r.dialogLog[r.dialogLog.size() - 2], state({{1007, "0"}, {1008, "1"}}));
  EXPECT_EQ(r.heightAfter, 480u);
  EXPECT_EQ(iniKey(r.ini, "VideoMode"), "0");
  // The change of standard pushes the output controls again, as any change does.
  const std::vector<std::string> twice = kDefaultPush + kDefaultPush;
  ASSERT_GE(r.boardCalls.size(), twice.size());
  EXPECT_EQ(std::vector<std::string>(r.boardCalls.begin(), r.boardCalls.begin() + 10), twice);
}

}  // namespace
}  // namespace corvane::abi
