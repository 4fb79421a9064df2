// The four query exports, the constant exports and the export guard, seen
// from a host.
#include <cstring>

#include "abi/file_services_harness.h"

namespace corvane::abi {
namespace {

using Exports = FileServices;

struct Expected {
  const char* interfaceGuid;
  const char* name;
  std::uint32_t capabilities;
  bool lists;
};

void expectDescriptor(host::RecordFn query, const Expected& expected) {
  RecordBuffer small(324, kHostFill);
  small.setU32(0, 323);
  const std::vector<std::uint8_t> before = small.bytes();
  EXPECT_EQ(query(small.data()), 0);
  EXPECT_EQ(small.bytes(), before);

  RecordBuffer record(324, kHostFill);
  record.setU32(0, 324);
  ASSERT_EQ(query(record.data()), 1);
  EXPECT_EQ(words(record, {0, 204, 308, 312}),
            (std::vector<std::uint32_t>{324, expected.capabilities, 2, 1}));
  EXPECT_EQ(record.text(4, 100), "6155CBD0-C294-11d2-BA18-004005A189AE");
  EXPECT_EQ(record.text(104, 100), expected.interfaceGuid);
  EXPECT_EQ(record.text(208, 100), expected.name);
  // Texts are copied with their terminator; the host's bytes behind it stay.
  const std::size_t guidEnd = 4 + std::strlen("6155CBD0-C294-11d2-BA18-004005A189AE");
  EXPECT_EQ(record.bytes()[guidEnd], 0);
  EXPECT_EQ(record.bytes()[guidEnd + 1], kHostFill);
  if (expected.lists) {
    const auto* extensions = static_cast<const char* const*>(record.address(316));
    const auto* types = static_cast<const char* const*>(record.address(320));
    ASSERT_NE(extensions, nullptr);
    ASSERT_NE(types, nullptr);
    EXPECT_STREQ(extensions[0], "qvf");
    EXPECT_STREQ(types[0], "Video Corvane - qvf");
  } else {
    EXPECT_EQ(words(record, {316, 320}), (std::vector<std::uint32_t>{kUnwritten, kUnwritten}));
  }
}

TEST_F(Exports, EachQueryFillsItsServiceAndRefusesASmallRecordUntouched) {
  inPlugin([](const AvfileApi& api) {
    expectDescriptor(api.AVFILE_QueryInterfaceReading,
                     {"6155CBD2-C294-11d2-BA18-004005A189AE", "Video Corvane QVF File Input", 9, true});
    expectDescriptor(api.AVFILE_QueryInterfaceWriting,
                     {"6155CBD3-C294-11d2-BA18-004005A189AE", "Video Corvane QVF File Output", 1, true});
    expectDescriptor(api.AVFILE_QueryInterfaceSink,
                     {"6155CBD1-C294-11d2-BA18-004005A189AE", "Video Corvane Output Device", 1, false});
    EXPECT_EQ(api.AVFILE_CloseInterfaceSink(nullptr), 1);
    // The record device announces the file input's interface.
    expectDescriptor(api.AVFILE_QueryInterfaceRecording,
                     {"6155CBD2-C294-11d2-BA18-004005A189AE", "Video Corvane Record Device", 1, true});
  });
}

TEST_F(Exports, ConstantsAnswerTheirConstantWhateverTheyAreGiven) {
  inPlugin([](const AvfileApi& api) {
    using Wild = std::int32_t (*)(void*, void*, std::uint32_t, void*);
    const std::vector<std::pair<host::AnyFn, std::int32_t>> constants{
        {api.AVFILE_CloseInterfaceReading, 1},
        {api.AVFILE_CloseInterfaceWriting, 1},
        {api.AVFILE_CloseInterfaceRecording, 1},
        {api.AVFILE_EnablePassThrough, 1},
        {api.AVFILE_QueueRecording, 1},
        {api.AVFILE_ReleaseFormatFromReadImageFrame, 1},
        {api.AVFILE_ReleaseFormatFromSetSinkSettings, 1},
        {api.AVFILE_ReleaseFormatFromSetWritingSettings, 1},
        {api.AVFILE_ReleaseFormatsFromGetReadingFileInfo, 1},
        {api.AVFILE_ReleaseFormatsFromGetRecordingInfo, 1},
        {api.AVFILE_ReleaseFormatsFromGetSinkInfo, 1},
        {api.AVFILE_ReleaseFormatsFromGetWritingFileInfo, 1},
        {api.AVFILE_ReleaseFormatsFromSetRecordingSettings, 1},
        {api.AVFILE_ReadAudioSamples, 0},
        {api.AVFILE_ReleaseFormatFromReadAudioSamples, 0},
        {api.AVFILE_WriteNextAudioSamples, 0},
        {api.AVFILE_WriteSegment, 0},
        {api.AVFILE_GetVUMeterRecording, 0},
        {api.AVFILE_GrabAudioToBuffer, 0},
        {api.AVFILE_GrabImageToBuffer, 0},
    };
    for (const auto& [fn, value] : constants) {
      // The caller removes the arguments, so any number of them is fine.
      const auto wild = reinterpret_cast<Wild>(reinterpret_cast<void (*)()>(fn));
      EXPECT_EQ(fn(), value);
      EXPECT_EQ(wild(nullptr, nullptr, 0, nullptr), value);
      EXPECT_EQ(wild(reinterpret_cast<void*>(16), reinterpret_cast<void*>(8), 0xFFFFFFFFu,
                     reinterpret_cast<void*>(1)),
                value);
    }
  });
}

TEST(ReportErrorGuard, AFaultInsideAGuardedExportIsReportedAndTheHostLivesOn) {
  Sandbox box;
  const ChildOutcome outcome = runWithPlugin(box.environment(), [](const AvfileApi& api) {
    // A null record and an address no host owns: the guard turns both into a
    // message and 0, and the plug-in keeps working afterwards.
    if (api.AVFILE_QueryInterfaceSink(nullptr) != 0) return 10;
    if (api.AVFILE_QueryInterfaceSink(reinterpret_cast<void*>(16)) != 0) return 11;
    RecordBuffer record(324);
    record.setU32(0, 324);
    if (api.AVFILE_QueryInterfaceSink(record.data()) != 1) return 12;
    // Unguarded queries refuse a null record without a message.
    if (api.AVFILE_QueryInterfaceReading(nullptr) != 0) return 13;
    return 0;
  });
  ASSERT_TRUE(outcome.exited) << "signal " << outcome.signal;
  EXPECT_EQ(outcome.exitCode, 0);
  EXPECT_EQ(box.readLines(box.messageLog()),
            (std::vector<std::string>{"AVFILE_QueryInterfaceSink\tUnknown Internal Error",
                                      "AVFILE_QueryInterfaceSink\tUnknown Internal Error"}));
}

}  // namespace
}  // namespace corvane::abi
