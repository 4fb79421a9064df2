// Takes that meet faults: the process killed at any moment, a file that can
// grow no further, and the record file evicted from the open-file table by
// other reads. Whatever happens, the file reads back up to its last whole
// frame, and every frame in it is in its place.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <random>

#include "abi/recording_harness.h"

namespace corvane::abi {
namespace {

class TakeFaults : public RecordingHost {
 protected:
  // Frame i of the file is the input frame after the take's start count; or,
  // where frames may have been dropped for want of a slot, at least one whole
  // input frame, never fields of two or a torn one.
  enum class Order : std::uint8_t { Consecutive, MayDrop };
  void expectWholeFramesInPlace(const std::string& path, std::uint32_t startCount,
                                Order order = Order::Consecutive) {
    const std::vector<std::string> frames = recordedFrames(path);
    for (std::uint32_t i = 0; i < frames.size(); ++i) {
      bool found = false;
      for (std::uint32_t clip = 0; clip < kClipFrames && !found; ++clip) {
        const bool expected = order == Order::MayDrop || clip == (startCount + i) % kClipFrames;
        found = expected && frames[i] == clipField(clip, 0) + clipField(clip, 1);
      }
      EXPECT_TRUE(found) << "frame " << i;  // first_count 1: count c carries clip frame c - 1
    }
    // The plug-in's own reader takes the file and finds the same whole frames.
    const std::size_t whole = frames.size();
    const ChildOutcome read = runWithPlugin(box_.environment(), [&](const AvfileApi& api) {
      void* handle = openForRead(api, path);
      const bool counted = readingFileInfo(api, handle).u32(132) == whole;
      HostBuffer buffer(kFrame422, 0);
      RecordBuffer request = readRequest(static_cast<std::uint32_t>(whole - 1), buffer, kFrame422, kGuid422);
      const bool lastReads = whole == 0 || api.AVFILE_ReadImageFrame(handle, request.data()) == 1;
      api.AVFILE_CloseReadingFile(handle);
      return counted && lastReads ? 0 : 4;
    });
    EXPECT_TRUE(read.exited && read.exitCode == 0) << path;
  }
};

TEST_F(TakeFaults, ATakeKilledAtAnyMomentLeavesEveryWholeFrameReadable) {
  const unsigned seed = std::random_device{}();
  std::mt19937 random(seed);
  for (int round = 0; round < 4; ++round) {
    const std::string path = at("killed" + std::to_string(round) + ".qvf");
    const int delayMs = std::uniform_int_distribution<int>(30, 500)(random);
    std::filesystem::remove(box_.boardLog());
    const ChildOutcome outcome =
        runWithPlugin(environmentFor(clipBoard("input_rate=600")), [&](const AvfileApi& api) {
          void* device = openDevice(api);
          addFile(api, device, path.c_str());
          api.AVFILE_StartRecording(device);
          std::thread([delayMs] {
            std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
            ::kill(::getpid(), SIGKILL);
          }).detach();
          for (;;) position(api, device);
          return 0;
        });
    EXPECT_EQ(outcome.signal, SIGKILL) << "seed " << seed;
    const std::vector<std::uint32_t> counts = boardRecord().counts;
    ASSERT_FALSE(counts.empty()) << "seed " << seed;
    if (std::filesystem::exists(path)) expectWholeFramesInPlace(path, counts[0], Order::MayDrop);
  }
}

TEST_F(TakeFaults, AFileThatCannotGrowEndsTheTakeThroughThePositionWithTheFailedWritesCounted) {
  const std::string path = at("full.qvf");
  // Room for the headers, five frames and part of a sixth.
  const rlim_t limit = 512 + 5 * rlim_t{kNtscFrame} + 300 * 512;
  inPluginOn(clipBoard("input_rate=240"), [&](const AvfileApi& api) {
    void* device = openDevice(api);
    ASSERT_EQ(addFile(api, device, path.c_str()), 1);
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit size{limit, limit};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &size), 0);
    ASSERT_EQ(api.AVFILE_StartRecording(device), 1);
    const Position ended = waitForPosition(api, device, 1000);
    EXPECT_EQ(ended.answer, 0);
    EXPECT_GE(ended.frames, 6u);
    EXPECT_EQ(api.AVFILE_StopRecording(device), 1);
    EXPECT_EQ(api.AVFILE_CloseRecording(device), 1);
  });
  EXPECT_GE(lastTake()["failed_write"], 1u);
  EXPECT_EQ(lastTake()["write_error"], static_cast<std::uint32_t>(EFBIG)) << "the system's reason is kept";
  EXPECT_EQ(recordedFrames(path).size(), 5u);
  expectWholeFramesInPlace(path, boardRecord().counts.at(0));
}

TEST_F(TakeFaults, ReadingNineOtherFilesDuringATakeMisplacesNoFrame) {
  const std::string path = at("evicted.qvf");
  std::vector<std::string> others;
  for (int i = 0; i < 9; ++i) {
    others.push_back(at("other" + std::to_string(i) + ".qvf"));
    writeQvfClip(others.back(), 240, 1, kNtscFieldRateBits);
  }
  inPluginOn(clipBoard("input_rate=120"), [&](const AvfileApi& api) {
    void* device = openDevice(api);
    ASSERT_EQ(addFile(api, device, path.c_str()), 1);
    ASSERT_EQ(api.AVFILE_StartRecording(device), 1);
    HostBuffer buffer(kFrame422, 0);
    RecordBuffer request = readRequest(0, buffer, kFrame422, kGuid422);
    while (position(api, device).frames < 30) {
      for (const std::string& other : others) {
        void* handle = openForRead(api, other);
        EXPECT_EQ(api.AVFILE_ReadImageFrame(handle, request.data()), 1);
        EXPECT_EQ(buffer[0], clipByte(0, 0, 0));
        api.AVFILE_CloseReadingFile(handle);
      }
    }
    EXPECT_EQ(position(api, device).answer, 1);
    ASSERT_EQ(api.AVFILE_StopRecording(device), 1);
    EXPECT_EQ(api.AVFILE_CloseRecording(device), 1);
  });
  const std::vector<std::uint32_t> counts = boardRecord().counts;
  ASSERT_EQ(counts.size(), 2u);
  EXPECT_EQ(recordedFrames(path).size(), counts[1] - counts[0]);
  expectWholeFramesInPlace(path, counts[0]);
}

}  // namespace
}  // namespace corvane::abi
