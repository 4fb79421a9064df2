// Takes on the virtual board through the exports: which frames a file holds,
// a missing field, stops and a second take (the loss rules themselves are
// checked field by field in tests/record); and
// corvane-host record, which exits 0 with the frames of a take that lost
// nothing and 1 with the cause of one that lost frames, and follows the other
// commands' conventions (the .qvf name, -q, usage errors).
#include "abi/host_runner.h"
#include "abi/recording_harness.h"

namespace corvane::abi {
namespace {

class Takes : public RecordingHost {
 protected:
  // Input frame k carries count firstCount + k - 1.
  std::string clipBoard(std::uint32_t firstCount, const std::string& more = "") {
    return RecordingHost::clipBoard("input_rate=240,first_count=" + std::to_string(firstCount) + more);
  }
  // The frame the input carried with count c, field from clip frames of
  // counts first and second.
  static std::string frameOf(std::uint32_t firstCount, std::uint32_t first, std::uint32_t second) {
    return clipField((first - firstCount) % kClipFrames, 0) +
           clipField((second - firstCount) % kClipFrames, 1);
  }
  void expectFramesOfCounts(const std::string& path, std::uint32_t firstCount, std::uint32_t from,
                            std::uint32_t to) {
    const std::vector<std::string> frames = recordedFrames(path);
    ASSERT_EQ(frames.size(), to - from + 1);
    for (std::uint32_t i = 0; i < frames.size(); ++i)
      EXPECT_TRUE(frames[i] == frameOf(firstCount, from + i, from + i)) << "frame " << i;
  }
};

TEST_F(Takes, TheFileHoldsExactlyTheFramesCountedAfterTheStartAndEveryFieldGoesBack) {
  const std::string path = at("take.qvf");
  inPluginOn(clipBoard(100), [&](const AvfileApi& api) {
    void* device = openDevice(api);
    ASSERT_EQ(addFile(api, device, path.c_str()), 1);
    ASSERT_EQ(api.AVFILE_StartRecording(device), 1);
    EXPECT_EQ(waitForPosition(api, device, 10).answer, 1);
    ASSERT_EQ(api.AVFILE_StopRecording(device), 1);
    const std::vector<std::uint32_t> counts = boardRecord().counts;
    ASSERT_EQ(counts.size(), 2u);
    const Position stopped = position(api, device);
    EXPECT_EQ(stopped.answer, 0) << "the frame that ended the take is counted";
    EXPECT_EQ(stopped.frames, counts[1] - counts[0]) << "yet the frames are reported";
    ASSERT_EQ(api.AVFILE_StartRecording(device), 1);
    const Position again = position(api, device);
    EXPECT_TRUE(again.answer == 1 && again.frames == 0);
    EXPECT_EQ(api.AVFILE_CloseRecording(device), 1);
  });
  const BoardRecord board = boardRecord();
  ASSERT_GE(board.counts.size(), 2u);
  expectFramesOfCounts(path, 100, board.counts[0] + 1, board.counts[1]);
  std::vector<std::uint32_t> delivered;
  for (const Delivered& field : board.fields) delivered.push_back(field.id);
  EXPECT_EQ(board.returned, delivered) << "each field handed back once, in order";
  EXPECT_GT(delivered.size(), 20u);
}

TEST_F(Takes, AMissingSecondFieldSkipsTheNextFirstFieldAndCountsNothing) {
  // Far enough into the input that a loaded machine still starts the take
  // before it: the board runs at 240 frames a second from the device's open.
  constexpr std::uint32_t kMissing = 100;
  const std::string path = at("missing.qvf");
  inPluginOn(clipBoard(1, ",missing_field=" + std::to_string(kMissing)), [&](const AvfileApi& api) {
    void* device = openDevice(api);
    ASSERT_EQ(addFile(api, device, path.c_str()), 1);
    ASSERT_EQ(api.AVFILE_StartRecording(device), 1);
    EXPECT_EQ(waitForPosition(api, device, kMissing + 4).answer, 1);
    ASSERT_EQ(api.AVFILE_StopRecording(device), 1);
    EXPECT_EQ(api.AVFILE_CloseRecording(device), 1);
  });
  const std::vector<std::uint32_t> counts = boardRecord().counts;
  ASSERT_EQ(counts.size(), 2u);
  ASSERT_LT(counts[0], kMissing - 1) << "the take must begin before input frame " << kMissing;
  std::vector<std::string> expected;
  for (std::uint32_t c = counts[0] + 1; c <= counts[1]; ++c) {
    if (c == kMissing + 1) continue;  // its first field was skipped
    // The frame of the missing field ends with the next frame's second field.
    expected.push_back(frameOf(1, c, c == kMissing ? kMissing + 1 : c));
  }
  const std::vector<std::string> frames = recordedFrames(path);
  ASSERT_EQ(frames.size(), expected.size());
  for (std::size_t i = 0; i < frames.size(); ++i) EXPECT_TRUE(frames[i] == expected[i]) << "frame " << i;
  std::map<std::string, std::uint32_t> take = lastTake();
  take.erase("written");
  take.erase("after_stop");
  for (const auto& [cause, count] : take) EXPECT_EQ(count, 0u) << cause;
}

TEST_F(Takes, StopsWithNothingToWaitForReturnAtOnceAndANullPathDropsFramesUncounted) {
  inPluginOn("input_rate=240", [&](const AvfileApi& api) {
    void* device = openDevice(api);
    EXPECT_EQ(api.AVFILE_StopRecording(device), 1) << "no start";
    ASSERT_EQ(addFile(api, device, nullptr), 1);
    ASSERT_EQ(api.AVFILE_StartRecording(device), 1);
    waitForDeliveriesAfter(boardRecord().counts.back(), 8);
    const Position dropping = position(api, device);
    EXPECT_TRUE(dropping.answer == 1 && dropping.frames == 0);
    EXPECT_EQ(api.AVFILE_StopRecording(device), 1) << "no file";
    EXPECT_EQ(api.AVFILE_CloseRecording(device), 1);
  });
  std::map<std::string, std::uint32_t> take = lastTake();
  EXPECT_GE(take["no_file"], 2u);
  EXPECT_EQ(take["written"], 0u);
}

TEST_F(Takes, ASecondTakeIntoTheSamePathStartsTheFileAnew) {
  const std::string path = at("again.qvf");
  inPluginOn(clipBoard(1), [&](const AvfileApi& api) {
    void* device = openDevice(api);
    for (std::uint32_t frames : {12u, 3u}) {
      ASSERT_EQ(addFile(api, device, path.c_str()), 1);
      ASSERT_EQ(api.AVFILE_StartRecording(device), 1);
      EXPECT_EQ(waitForPosition(api, device, frames).answer, 1);
      ASSERT_EQ(api.AVFILE_StopRecording(device), 1);
    }
    EXPECT_EQ(api.AVFILE_CloseRecording(device), 1);
  });
  const std::vector<std::uint32_t> counts = boardRecord().counts;
  ASSERT_EQ(counts.size(), 4u);
  // A frame the first take left half assembled is dropped with the second
  // take's first frame, and counted so.
  const std::uint32_t unfinished = lastTake()["unfinished_frame"];
  ASSERT_LE(unfinished, 1u);
  expectFramesOfCounts(path, 1, counts[2] + 1 + unfinished, counts[3]);
}

class RecordCommand : public RecordingHost {
 protected:
  int record(const std::string& board, const std::string& args) {
    testing::ProgramSetup setup;
    for (const auto& [key, value] : environmentFor(board)) setup.environment[key] = value;
    setup.environment["CORVANE_PLUGIN"] = CORVANE_PLUGIN_PATH;
    setup.stdoutPath = at("stdout");
    setup.stderrPath = at("stderr");
    std::vector<std::string> words = shellWords(args);
    words.insert(words.begin(), "record");
    const testing::ProgramRun run = testing::runProgram(CORVANE_HOST_PATH, words, setup);
    EXPECT_FALSE(run.timedOut) << "record " << args << ": still running";
    return run.exitCode;
  }
};

TEST_F(RecordCommand, ATakeFromAClipPrintsItsFramesAndALossfulOneExitsWithItsCause) {
  writeQvfClip(at("clip.qvf"), 240, 2, kNtscFieldRateBits);
  const std::string path = at("take.qvf");
  ASSERT_EQ(record("input=" + at("clip.qvf") + ",input_rate=240", path + " --frames 8"), 0)
      << box_.readFile(at("stderr"));
  const std::string err = box_.readFile(at("stderr"));
  const std::size_t written = recordedFrames(path).size();
  EXPECT_EQ(written, 8u) << "the take ends at --frames exactly";
  EXPECT_NE(err.find("corvane-host record: 8 frames written to " + path), std::string::npos) << err;
  EXPECT_NE(err.find("corvane-host record: lost after_stop="), std::string::npos) << err;
  EXPECT_EQ(err.find("after_stop=0"), std::string::npos) << "the frame that ended the take: " << err;
  EXPECT_NE(box_.readFile(report()).find("written="), std::string::npos) << "a report the user named is kept";
  ASSERT_EQ(record("input_rate=240", at("ten") + " --seconds 10 -q"), 0) << box_.readFile(at("stderr"));
  EXPECT_EQ(recordedFrames(at("ten.qvf")).size(), 300u) << "ten seconds at 29.97 frames a second, as named";
  EXPECT_EQ(box_.readFile(at("stderr")), "") << "-q: no summary lines";
  ASSERT_EQ(record("input_rate=240", at("one") + " --frames 1 -q"), 0) << box_.readFile(at("stderr"));
  EXPECT_EQ(recordedFrames(at("one.qvf")).size(), 1u) << "no device limit can say one frame: cut to it";
  EXPECT_EQ(record("", at("none") + " --frames 0"), 2);

  EXPECT_EQ(record("input_standard=pal,input_rate=240", at("pal.qvf") + " --seconds 5"), 1);
  EXPECT_NE(box_.readFile(at("stderr")).find("wrong_standard="), std::string::npos);
  EXPECT_EQ(box_.readFile(at("stderr")).find("wrong_standard=0"), std::string::npos);
  EXPECT_EQ(record("input_frames=3,input_rate=240", at("short.qvf") + " --frames 50"), 1);
  EXPECT_NE(box_.readFile(at("stderr")).find("no frame came from the board's input"), std::string::npos)
      << "an input gone silent ends the take instead of waiting for ever";
  EXPECT_EQ(record("", path + " --frames 1"), 1) << "an existing take is kept unless -y";
  EXPECT_EQ(recordedFrames(path).size(), written);
  EXPECT_EQ(record("", path), 2) << "neither --frames nor --seconds";
  EXPECT_NE(box_.readFile(at("stderr")).find("--frames N or --seconds S"), std::string::npos);
}

}  // namespace
}  // namespace corvane::abi
