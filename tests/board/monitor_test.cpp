// The monitor between the board and the preview programs: what is published
// is read back whole, never torn, and a board that goes away is noticed.
#include "board/monitor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "board/monitor_reader.h"
#include "board/virtual_board.h"

namespace corvane::board {
namespace {

std::string uniqueName() { return "corvane-test-monitor-" + std::to_string(std::random_device{}()); }

std::vector<std::uint8_t> frameOf(std::uint32_t lines, std::uint8_t seed) {
  std::vector<std::uint8_t> frame(monitorFrameBytes(lines));
  for (std::size_t i = 0; i < frame.size(); ++i)
    frame[i] = static_cast<std::uint8_t>(seed + i * 7 + i / 1440);
  return frame;
}

TEST(Monitor, ReadsBackTheLatestFrameOfEachChannel) {
  const std::string name = uniqueName();
  auto writer = MonitorWriter::open(name);
  ASSERT_NE(writer, nullptr);
  auto reader = MonitorReader::open(name);
  ASSERT_NE(reader, nullptr);

  MonitorFrame out, in;
  EXPECT_EQ(reader->readLatest(MonitorChannel::Output, out), MonitorRead::NoNewFrame);

  const auto first = frameOf(480, 1), second = frameOf(576, 2), input = frameOf(480, 3);
  ASSERT_TRUE(writer->publish(MonitorChannel::Output, first, 480));
  ASSERT_TRUE(writer->publish(MonitorChannel::Output, second, 576));
  ASSERT_TRUE(writer->publish(MonitorChannel::Input, input, 480));

  ASSERT_EQ(reader->readLatest(MonitorChannel::Output, out), MonitorRead::NewFrame);
  EXPECT_EQ(out.lines, 576u);
  EXPECT_EQ(out.frameNumber, 2u);
  EXPECT_EQ(out.pixels, second);
  EXPECT_EQ(reader->readLatest(MonitorChannel::Output, out), MonitorRead::NoNewFrame);

  ASSERT_EQ(reader->readLatest(MonitorChannel::Input, in), MonitorRead::NewFrame);
  EXPECT_EQ(in.lines, 480u);
  EXPECT_EQ(in.pixels, input);

  ASSERT_TRUE(writer->publish(MonitorChannel::Output, first, 480));
  ASSERT_EQ(reader->readLatest(MonitorChannel::Output, out), MonitorRead::NewFrame);
  EXPECT_EQ(out.frameNumber, 3u);
  EXPECT_EQ(out.pixels, first);
}

TEST(Monitor, RefusesFramesOfTheWrongSize) {
  const std::string name = uniqueName();
  auto writer = MonitorWriter::open(name);
  ASSERT_NE(writer, nullptr);
  struct Case {
    std::size_t bytes;
    std::uint32_t lines;
  };
  const Case cases[] = {
      {monitorFrameBytes(480) - 1, 480},  // short
      {monitorFrameBytes(576), 480},      // lines disagree with the size
      {monitorFrameBytes(577), 577},      // odd, and past the maximum
      {monitorFrameBytes(578), 578},      // past the maximum
      {0, 0},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> frame(c.bytes, 0x55);
    EXPECT_FALSE(writer->publish(MonitorChannel::Output, frame, c.lines)) << c.lines << " " << c.bytes;
  }
  MonitorFrame frame;
  EXPECT_EQ(MonitorReader::open(name)->readLatest(MonitorChannel::Output, frame), MonitorRead::NoNewFrame);
}

TEST(Monitor, CopyOverwrittenMeanwhileOrStillBeingWrittenIsNotTaken) {
  const std::string name = uniqueName();
  auto writer = MonitorWriter::open(name);
  auto reader = MonitorReader::open(name);
  ASSERT_TRUE(writer && reader);
  const auto a = frameOf(480, 1), b = frameOf(480, 2), c = frameOf(480, 3);
  ASSERT_TRUE(writer->publish(MonitorChannel::Output, a, 480));
  // Two more publications during the copy of frame 1: the second rewrites
  // the very slot being copied.
  int hooked = 0;
  reader->setCopyHook([&] {
    if (hooked++ > 0) return;
    writer->publish(MonitorChannel::Output, b, 480);
    writer->publish(MonitorChannel::Output, c, 480);
  });
  MonitorFrame frame;
  ASSERT_EQ(reader->readLatest(MonitorChannel::Output, frame), MonitorRead::NewFrame);
  EXPECT_EQ(frame.frameNumber, 3u);
  EXPECT_EQ(frame.pixels, c);
  EXPECT_EQ(hooked, 2) << "the overwritten copy was kept";

  // A slot whose writer is still at work (odd sequence) is never read.
  auto raw = platform::SharedMemory::create(name, sizeof(MonitorLayout));
  ASSERT_FALSE(raw.empty());
  auto& shared = *reinterpret_cast<MonitorLayout*>(raw.data());
  ASSERT_TRUE(writer->publish(MonitorChannel::Output, a, 480));
  shared.channels[0].slots[(shared.channels[0].published - 1) % 2].sequence += 1;
  EXPECT_EQ(reader->readLatest(MonitorChannel::Output, frame), MonitorRead::NoNewFrame);
  EXPECT_EQ(frame.frameNumber, 3u);
}

// Every published frame is one byte value throughout; a frame that mixes
// two was torn.
TEST(Monitor, ReaderNeverSeesATornFrameWhileTheWriterRunsFlatOut) {
  const std::string name = uniqueName();
  auto writer = MonitorWriter::open(name);
  auto reader = MonitorReader::open(name);
  ASSERT_TRUE(writer && reader);
  std::atomic<bool> done{false};
  // Small frames: many publications, many chances to overtake a copy.
  constexpr std::uint32_t kLines = 8;
  std::thread publisher([&] {
    std::vector<std::uint8_t> frame(monitorFrameBytes(kLines));
    for (int n = 1; n <= 20000; ++n) {
      std::fill(frame.begin(), frame.end(), static_cast<std::uint8_t>(n));
      writer->publish(MonitorChannel::Input, frame, kLines);
    }
    done.store(true);
  });
  int frames = 0, torn = 0;
  MonitorFrame frame;
  while (!done.load()) {
    if (reader->readLatest(MonitorChannel::Input, frame) != MonitorRead::NewFrame) continue;
    ++frames;
    const auto expected = static_cast<std::uint8_t>(frame.frameNumber);
    for (std::uint8_t byte : frame.pixels) {
      if (byte != expected) {
        ++torn;
        break;
      }
    }
  }
  publisher.join();
  EXPECT_EQ(torn, 0) << "of " << frames << " frames read";
  EXPECT_GT(frames, 0);
}

TEST(Monitor, ReaderNoticesTheBoardGoingAndOnlyOpensALiveMonitor) {
  const std::string name = uniqueName();
  EXPECT_EQ(MonitorReader::open(name), nullptr) << "nothing made yet";
  auto writer = MonitorWriter::open(name);
  auto reader = MonitorReader::open(name);
  ASSERT_TRUE(writer && reader);
  EXPECT_FALSE(reader->gone());
  writer.reset();
  MonitorFrame frame;
  EXPECT_EQ(reader->readLatest(MonitorChannel::Output, frame), MonitorRead::Gone);
  EXPECT_TRUE(reader->gone());
  EXPECT_EQ(MonitorReader::open(name), nullptr) << "the name is removed with the board";

  // Something else under the name: too small, or not a monitor.
  for (std::size_t size : {std::size_t{100}, sizeof(MonitorLayout)}) {
    auto stranger = platform::SharedMemory::create(name, size);
    ASSERT_FALSE(stranger.empty());
    EXPECT_EQ(MonitorReader::open(name), nullptr) << size;
    platform::removeSharedMemory(name);
  }
}

TEST(Monitor, ReaderOfAnEarlierBoardSeesTheNameReplaced) {
  const std::string name = uniqueName();
  auto writer = MonitorWriter::open(name);
  auto reader = MonitorReader::open(name);
  ASSERT_TRUE(writer && reader);
  // Removed behind the board's back and made anew by a later one.
  platform::removeSharedMemory(name);
  auto later = MonitorWriter::open(name);
  ASSERT_NE(later, nullptr);
  EXPECT_TRUE(reader->gone());
}

TEST(Monitor, AReusedObjectStartsWithoutTheOldFrames) {
  const std::string name = uniqueName();
  auto stale = platform::SharedMemory::create(name, sizeof(MonitorLayout));
  ASSERT_FALSE(stale.empty());
  auto& old = *reinterpret_cast<MonitorLayout*>(stale.data());
  old.channels[0].published = 7;
  old.channels[0].slots[0].lines = 480;
  auto writer = MonitorWriter::open(name);
  MonitorFrame frame;
  EXPECT_EQ(MonitorReader::open(name)->readLatest(MonitorChannel::Output, frame), MonitorRead::NoNewFrame);
}

TEST(Monitor, BoardOwnsTheMonitorItsSettingsName) {
  const std::string name = uniqueName();
  {
    VirtualBoard board(parseBoardConfig("monitor=/" + name, 1000));
    ASSERT_NE(board.monitor(), nullptr);
    ASSERT_TRUE(board.monitor()->publish(MonitorChannel::Output, frameOf(576, 9), 576));
    auto reader = MonitorReader::open(name);
    ASSERT_NE(reader, nullptr);
    MonitorFrame frame;
    EXPECT_EQ(reader->readLatest(MonitorChannel::Output, frame), MonitorRead::NewFrame);
    EXPECT_EQ(frame.pixels, frameOf(576, 9));
  }
  EXPECT_EQ(MonitorReader::open(name), nullptr);
}

}  // namespace
}  // namespace corvane::board
