// The input settings dialog through the real plug-in, scripted: the source it
// shows, what its rows and source buttons send to the board, and the input
// preview it starts and stops.
#include <regex>

#include "abi/recording_harness.h"

namespace corvane::abi {
namespace {

constexpr std::size_t kSettingsSize = 944;

// The check boxes and radio buttons, then each row's slider and number box, as the log lists them.
std::string inputState(int source, int stopOnDrop, int preview, const std::vector<double>& rows) {
  static const int kRowIds[8][2] = {{1001, 1017}, {1002, 1022}, {1003, 1023}, {1006, 1024},
                                    {1012, 1026}, {1013, 1027}, {1011, 1028}, {1015, 1029}};
  std::string line = "state 101";
  for (int n = 0; n < 4; ++n) line += " " + std::to_string(1007 + n) + "=" + (n == source ? "1" : "0");
  line += " 1004=" + std::to_string(stopOnDrop) + " 1025=" + std::to_string(preview);
  for (std::size_t r = 0; r < 8; ++r) {
    char value[32];
    std::snprintf(value, sizeof value, "%g", rows[r]);
    for (int id : kRowIds[r]) line += " " + std::to_string(id) + "=" + value;
  }
  return line;
}

const std::vector<double> kComposite = {44, 24, -4, 0, -1, 3, 13, 12};
const std::vector<double> kYc = {27, 21, -7, 1, 3, 3, 14, 10};

class InputDialog : public RecordingHost {
 protected:
  void setUp(const std::string& keys, const std::string& script) {
    box_.writeFile(box_.iniPath(), "[VideoCorvane Configuration]\n" + keys);
    box_.writeFile(at("dialogs.txt"), script);
  }
  std::map<std::string, std::string> dialogEnvironment(const std::string& board = "") const {
    auto env = environmentFor(board);
    env["CORVANE_DIALOGS"] = "script:" + at("dialogs.txt");
    env["CORVANE_DIALOG_LOG"] = at("dialogs.log");
    return env;
  }
  void inDialogHost(const std::function<void(const AvfileApi&)>& body, const std::string& board = "") {
    inPluginWith(dialogEnvironment(board), body);
  }
  static void showDialog(const AvfileApi& api) {
    RecordBuffer settings(kSettingsSize, 0);
    settings.setU32(0, kSettingsSize);
    settings.setU32(4, 1);
    EXPECT_EQ(api.AVFILE_SetRecordingSettings(settings.data()), 1);
  }
  std::vector<std::string> dialogLog() const { return box_.readLines(at("dialogs.log")); }
  std::vector<int> previewPids() const {
    std::vector<int> pids;
    for (const auto& line : box_.readLines(at("previews"))) pids.push_back(std::stoi(line));
    return pids;
  }
  std::string iniKey(const std::string& key) const {
    std::smatch match;
    const std::string ini = box_.readFile(box_.iniPath());
    return std::regex_search(ini, match, std::regex("\n" + key + "=([^\r\n]*)")) ? match[1].str()
                                                                                 : "(missing)";
  }
};

TEST_F(InputDialog, OpeningShowsTheCurrentSourceAndItsValues) {
  for (const auto& [keys, source, rows] :
       {std::tuple{std::string("VeltrixScryIn=0\nInput=1\n"), 1, kYc},
        std::tuple{std::string("VeltrixScryIn=0\n"), 0, kComposite},
        std::tuple{std::string("VeltrixScryIn=0\nInput=1\nContrast_YC=-12\n"), 1,
                   std::vector<double>{-12, 21, -7, 1, 3, 3, 14, 10}}}) {
    setUp(keys, "");
    std::filesystem::remove(at("dialogs.log"));
    inDialogHost(showDialog);
    EXPECT_EQ(dialogLog(),
              (std::vector<std::string>{"open 101", inputState(source, 0, 0, rows), "close 101 0"}))
        << keys;
  }
}

TEST_F(InputDialog, ARowMovedSetsTheCurrentSourcesBoardControlAtOnce) {
  setUp("VeltrixScryIn=0\nInput=1\n", "dialog 101\nset 1002 30\nset 1029 -5.7\n");
  std::size_t before = 0;
  inDialogHost([&](const AvfileApi& api) {
    before = box_.readLines(box_.boardLog()).size();
    showDialog(api);
  });
  std::vector<double> rows = kYc;
  rows[1] = 30;
  rows[7] = -5.7;
  const auto log = dialogLog();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[3], inputState(1, 0, 0, rows));
  const auto calls = box_.readLines(box_.boardLog());
  const std::vector<std::string> sent(calls.begin() + static_cast<std::ptrdiff_t>(before), calls.end());
  EXPECT_NE(std::find(sent.begin(), sent.end(), "SetInputControl control.brightness 4 30"), sent.end());
  EXPECT_NE(std::find(sent.begin(), sent.end(), "SetInputControl control.voffset 4 -5"), sent.end());
  EXPECT_EQ(iniKey("Brightness_YC"), "30");
  EXPECT_EQ(iniKey("Brightness_Composite"), "24");
  EXPECT_EQ(iniKey("VOffset_YC"), "-5");
}

TEST_F(InputDialog, ASourceButtonSwitchesTheRowsToThatSource) {
  setUp("VeltrixScryIn=0\n", "dialog 101\nclick 1008\nset 1001 50\n");
  inDialogHost(showDialog);
  const auto log = dialogLog();
  ASSERT_EQ(log.size(), 5u);
  EXPECT_EQ(log[2], inputState(1, 0, 0, kYc));
  std::vector<double> rows = kYc;
  rows[0] = 50;
  EXPECT_EQ(log[3], inputState(1, 0, 0, rows));
  EXPECT_EQ(iniKey("Input"), "1");
  EXPECT_EQ(iniKey("Contrast_YC"), "50");
  EXPECT_EQ(iniKey("Contrast_Composite"), "44");
}

// With a record device open, closing the dialog leaves the preview alone: only
// the box can have stopped it.
TEST_F(InputDialog, UntickingThePreviewStopsItAndStoresZero) {
  setUp("", "dialog 101\nclick 1025\n");
  inDialogHost([&](const AvfileApi& api) {
    void* device = openDevice(api);
    EXPECT_EQ(testing::childProcessIds().size(), 1u);
    showDialog(api);
    EXPECT_TRUE(testing::childProcessIds().empty());
    EXPECT_EQ(iniKey("VeltrixScryIn"), "0");
    showDialog(api);  // opened again: no preview starts
    EXPECT_TRUE(testing::childProcessIds().empty());
    EXPECT_EQ(api.AVFILE_CloseRecording(device), 1);
  });
  const auto log = dialogLog();
  ASSERT_EQ(log.size(), 7u);
  EXPECT_EQ(log[1], inputState(0, 0, 1, kComposite));
  EXPECT_EQ(log[2], inputState(0, 0, 0, kComposite));
  EXPECT_EQ(log[5], inputState(0, 0, 0, kComposite));
}

TEST_F(InputDialog, ThePreviewOutlivesTheDialogOnlyOnceARecordDeviceWasOpened) {
  setUp("", "");
  inDialogHost([&](const AvfileApi& api) {
    showDialog(api);
    EXPECT_TRUE(testing::childProcessIds().empty()) << "no device yet: stopped at close";
    void* device = openDevice(api);
    const auto devicePreview = testing::childProcessIds();
    EXPECT_EQ(devicePreview.size(), 1u);
    showDialog(api);
    EXPECT_EQ(testing::childProcessIds(), devicePreview) << "the running preview is kept, no second one";
    EXPECT_EQ(api.AVFILE_CloseRecording(device), 1);
    showDialog(api);
    EXPECT_EQ(testing::childProcessIds().size(), 1u)
        << "a device was opened once: the dialog's preview stays";
  });
}

TEST_F(InputDialog, FirstOpeningPreparesTheInputSideOnceTheOutputDeviceTookIt) {
  setUp("VeltrixScryIn=0\n", "");
  std::size_t before = 0;
  inDialogHost([&](const AvfileApi& api) {
    RecordBuffer descriptor(324);
    descriptor.setU32(0, 324);
    EXPECT_EQ(api.AVFILE_QueryInterfaceSink(descriptor.data()), 1);
    before = box_.readLines(box_.boardLog()).size();
    showDialog(api);
    showDialog(api);
    EXPECT_EQ(api.AVFILE_CloseInterfaceSink(nullptr), 1);
  });
  const auto calls = box_.readLines(box_.boardLog());
  const auto prepares =
      std::count_if(calls.begin() + static_cast<std::ptrdiff_t>(before), calls.end(),
                    [](const std::string& c) { return c.rfind("SwitcherCommand", 0) == 0; });
  EXPECT_EQ(prepares, 1);
}

// The choice lives in the process until unload; the file keeps its own.
TEST_F(InputDialog, StopOnDroppedFramesIsKeptForTheProcessButNotWritten) {
  setUp("VeltrixScryIn=0\n", "dialog 101\nclick 1004\nclose\n");
  inDialogHost([&](const AvfileApi& api) {
    showDialog(api);
    showDialog(api);
  });
  const auto log = dialogLog();
  ASSERT_EQ(log.size(), 7u);
  EXPECT_EQ(log[2], inputState(0, 1, 0, kComposite));
  EXPECT_EQ(log[5], inputState(0, 1, 0, kComposite)) << "the second opening ticks it from the kept choice";
  EXPECT_EQ(iniKey("StopRecordingWhenFramesAreDropped"), "0");
}

// The ticked box reaches the next take. An input delivered as fast as the
// callback returns mostly outruns the writer, so the 20 frame slots run
// short: ticked, the shortage ends the take (the position query answers 0);
// unticked, frames are dropped silently and the query keeps answering 1.
// Whether a take ran short is the board's race with the disk, so a take
// without a shortage proves nothing and is tried again. Each take is judged by
// its own report line and answer file, not the latest: a child that runs the
// test again from its start (no fork) must decide every earlier retry as its
// parent did.
TEST_F(InputDialog, StopOnDroppedFramesMakesSlotShortagesEndTheNextTake) {
  std::size_t take = 0;
  for (const bool ticked : {false, true}) {
    setUp("VeltrixScryIn=0\n", ticked ? "dialog 101\nclick 1004\nclose\n" : "dialog 101\nclose\n");
    const std::string path = at("take.qvf");
    bool ranShort = false;
    for (int attempt = 0; attempt < 5 && !ranShort; ++attempt, ++take) {
      const std::string answer = at("answer-" + std::to_string(take));
      inDialogHost(
          [&](const AvfileApi& api) {
            showDialog(api);
            void* device = openDevice(api);
            ASSERT_EQ(addFile(api, device, path.c_str()), 1);
            ASSERT_EQ(api.AVFILE_StartRecording(device), 1);
            // A ticked box ends the take at its first shortage, which may come
            // late on a loaded machine: the answer is watched for longer, so
            // that a shortage is seldom left to the time between the last poll
            // and the stop. Unticked, a shortage never reaches the answer.
            Position now{1, 0};
            const std::uint32_t enough = ticked ? 600u : 120u;
            for (int polls = 0; polls < 2000 && now.answer == 1 && now.frames < enough; ++polls) {
              now = position(api, device);
              std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
            box_.writeFile(answer, std::to_string(now.answer));
            ASSERT_EQ(api.AVFILE_StopRecording(device), 1);
            EXPECT_EQ(api.AVFILE_CloseRecording(device), 1);
          },
          "input_rate=fast");
      const auto reports = box_.readLines(report());
      ranShort =
          take < reports.size() && std::regex_search(reports[take], std::regex("(^| )no_free_slot=[1-9]"));
      if (ranShort) {
        EXPECT_EQ(box_.readLines(answer), std::vector<std::string>{ticked ? "0" : "1"}) << ticked;
      }
    }
    EXPECT_TRUE(ranShort) << "no take ran short of slots in five";
  }
}

}  // namespace
}  // namespace corvane::abi
