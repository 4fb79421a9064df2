// The record device's records as a host sees them: the open, settings, info,
// file and position records, each checked at its exact size and offsets.
#include "abi/recording_harness.h"

namespace corvane::abi {
namespace {

using RecordingRecords = RecordingHost;

TEST_F(RecordingRecords, OpenTakesOnlyARecordOf480AndCloseDetachesWhatOpenAttached) {
  inPluginOn("input_rate=field", [&](const AvfileApi& api) {
    for (std::uint32_t size : {479u, 481u, 0u}) {
      void* device = nullptr;
      RecordBuffer params(481, kHostFill);
      params.setU32(0, size);
      EXPECT_EQ(api.AVFILE_OpenRecording(&device, params.data()), 0) << size;
      EXPECT_EQ(device, nullptr);
    }
    void* none = nullptr;
    EXPECT_EQ(api.AVFILE_OpenRecording(&none, nullptr), 0);
    void* device = openDevice(api);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(api.AVFILE_CloseRecording(device), 1);
    EXPECT_EQ(api.AVFILE_CloseRecording(nullptr), 0);
    EXPECT_EQ(api.AVFILE_StartRecording(nullptr), 0);
    EXPECT_EQ(api.AVFILE_StopRecording(nullptr), 0);
  });
  std::vector<std::string> probe;
  for (const std::string& line : box_.readLines(box_.boardLog())) {
    const bool probeCall =
        line.find("Probe") != std::string::npos || line.find("Engine") != std::string::npos;
    if (probeCall && !line.starts_with("GetProbeSource")) probe.push_back(line);
  }
  EXPECT_EQ(probe, (std::vector<std::string>{"OpenEngine", "FindEngineObject",
                                             "CreateProbe media.apps.Veltrix.probe",
                                             "AttachProbe media.pins.corvane.vin0.out", "SetProbeCallback",
                                             "AttachProbe (null)", "DestroyProbe", "CloseEngine"}));
}

TEST_F(RecordingRecords, SettingsDescribeThe422FrameOfTheLoadTimeMode) {
  struct Mode {
    const char* ini;
    std::uint32_t height, numerator, denominator, frameBytes;
  };
  for (const Mode& mode : {Mode{"", 480, 29970026, 1000000, 691204}, Mode{kPalIni, 576, 25, 1, 829444}}) {
    box_.writeFile(box_.iniPath(), mode.ini);
    inPluginOn("", [&](const AvfileApi& api) {
      RecordBuffer settings(944, kHostFill);
      settings.setU32(0, 943);
      EXPECT_EQ(api.AVFILE_SetRecordingSettings(settings.data()), 0);
      EXPECT_EQ(settings.u32(8), kUnwritten);
      settings.setU32(0, 944);
      ASSERT_EQ(api.AVFILE_SetRecordingSettings(settings.data()), 1);
      EXPECT_EQ(words(settings, {8, 252, 256, 260, 364, 368, 372, 376, 380, 384}),
                (std::vector<std::uint32_t>{1, 236, 720, mode.height, mode.numerator, mode.denominator,
                                            mode.frameBytes, 0x812, kUnwritten, kUnwritten}));
      EXPECT_EQ(settings.text(264, 100), kGuid422);
      EXPECT_EQ(settings.text(388, 100), "4:2:2");
      EXPECT_EQ(words(settings, {4, 12, 248, 488, 940}),
                (std::vector<std::uint32_t>{kUnwritten, kUnwritten, kUnwritten, kUnwritten, kUnwritten}));
    });
  }
}

TEST_F(RecordingRecords, InfoWritesItsSevenWordsWhateverTheDevice) {
  inPluginOn("", [&](const AvfileApi& api) {
    void* device = openDevice(api);
    for (void* given : {device, static_cast<void*>(nullptr), reinterpret_cast<void*>(0x1234)}) {
      RecordBuffer info(32, kHostFill);
      ASSERT_EQ(api.AVFILE_GetRecordingInfo(given, info.data()), 1);
      EXPECT_EQ(words(info, {0, 4, 8, 12, 16, 20, 24, 28}),
                (std::vector<std::uint32_t>{0x424, 0, 0, 0, 0, 0, 0x28, kUnwritten}));
    }
    EXPECT_EQ(api.AVFILE_CloseRecording(device), 1);
  });
}

TEST_F(RecordingRecords, FileAndPositionRecordsAreRefusedUnlessExact) {
  inPluginOn("", [&](const AvfileApi& api) {
    void* device = openDevice(api);
    const std::string path = at("take.qvf");
    RecordBuffer file = fileParams(api, path.c_str(), 0);
    file.setU32(16, moduleHandle(api) + 4096);
    EXPECT_EQ(api.AVFILE_AddRecordingFile(device, file.data()), 0) << "another module's handle";
    file.setU32(16, moduleHandle(api));
    for (std::uint32_t size : {31u, 33u}) {
      file.setU32(0, size);
      EXPECT_EQ(api.AVFILE_AddRecordingFile(device, file.data()), 0) << size;
    }
    file.setU32(0, 32);
    EXPECT_EQ(api.AVFILE_AddRecordingFile(nullptr, file.data()), 0);
    EXPECT_EQ(api.AVFILE_AddRecordingFile(device, nullptr), 0);
    const std::string longest = at(std::string(259 - at("").size(), 'x'));
    EXPECT_EQ(addFile(api, device, (longest + "x").c_str()), 0) << "no room for 260 characters";
    EXPECT_EQ(addFile(api, device, longest.c_str()), 1) << "259 fit";
    EXPECT_EQ(api.AVFILE_AddRecordingFile(device, file.data()), 1);

    RecordBuffer remove(16, kHostFill);
    remove.setU32(0, 15);
    EXPECT_EQ(api.AVFILE_RemoveRecordingFile(device, remove.data()), 0);
    remove.setU32(0, 16);
    EXPECT_EQ(api.AVFILE_RemoveRecordingFile(nullptr, remove.data()), 0);
    EXPECT_EQ(api.AVFILE_RemoveRecordingFile(device, remove.data()), 1);

    RecordBuffer where(8, kHostFill);
    where.setU32(0, 9);
    EXPECT_EQ(api.AVFILE_GetPositionRecording(device, where.data()), 0);
    EXPECT_EQ(where.u32(4), kUnwritten);
    where.setU32(0, 8);
    EXPECT_EQ(api.AVFILE_GetPositionRecording(nullptr, where.data()), 0);
    EXPECT_EQ(api.AVFILE_GetPositionRecording(device, where.data()), 1);
    EXPECT_EQ(where.u32(4), 0u);
    EXPECT_EQ(api.AVFILE_CloseRecording(device), 1);
  });
}

TEST_F(RecordingRecords, TheInputPreviewRunsWithTheDeviceAndItsKeyRecordsWhetherItStillRan) {
  struct Case {
    const char* ini;
    bool onPath;
    std::int32_t opened;
    const char* keyAfter;
    std::size_t previews;
    std::string message;
  };
  const std::string launchFailed =
      "AVFILE_OpenRecording\tCould not launch the application. Your Corvane installation is probably "
      "corrupted\n";
  for (const Case& c :
       {Case{"", true, 1, "VeltrixScryIn=1", 1, ""},
        Case{"[VideoCorvane Configuration]\nVeltrixScryIn=0\n", true, 1, "VeltrixScryIn=0", 0, ""},
        Case{"", false, 0, "VeltrixScryIn=0", 0, launchFailed}}) {
    box_.writeFile(box_.iniPath(), c.ini);
    std::filesystem::remove(at("previews"));
    std::map<std::string, std::string> env = environmentFor("");
    if (!c.onPath) env["PATH"] = at("nowhere");
    inPluginWith(env, [&](const AvfileApi& api) {
      void* device = nullptr;
      RecordBuffer params(480, kHostFill);
      params.setU32(0, 480);
      EXPECT_EQ(api.AVFILE_OpenRecording(&device, params.data()), c.opened);
      EXPECT_NE(device, nullptr) << "the device is the host's even when its preview fails";
      while (box_.readLines(at("previews")).size() < c.previews)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      EXPECT_EQ(api.AVFILE_CloseRecording(device), 1);
    });
    EXPECT_NE(box_.readFile(box_.iniPath()).find(c.keyAfter), std::string::npos) << c.keyAfter;
    EXPECT_EQ(box_.readLines(at("previews")).size(), c.previews);
    EXPECT_EQ(box_.readFile(box_.messageLog()), c.message);
    std::filesystem::remove(box_.messageLog());
  }
}

}  // namespace
}  // namespace corvane::abi
