// The monitor between the board and the preview programs: what is published
// is read back whole, never torn, and a board that goes away is noticed.
#include "board/monitor.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
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

// The playback's drop count: read as written, and a board that takes the
// object over starts it from 0, not from the last board's count.
TEST(Monitor, CarriesThePlaybackDropCountOfItsBoardOnly) {
  const std::string name = uniqueName();
  auto writer = MonitorWriter::open(name);
  ASSERT_NE(writer, nullptr);
  auto reader = MonitorReader::open(name);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(reader->playbackDrops(), 0u);
  writer->countPlaybackDrop();
  writer->countPlaybackDrop();
  ASSERT_TRUE(writer->publish(MonitorChannel::Output, frameOf(480, 1), 480));
  EXPECT_EQ(reader->playbackDrops(), 2u) << "a published frame touched the count";
  auto next = MonitorWriter::open(name);
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(MonitorReader::open(name)->playbackDrops(), 0u);
}

TEST(Monitor, RefusesFramesOfTheWrongSize) {
  const std::string name = uniqueName();
  auto writer = MonitorWriter::open(name);
  ASSERT_NE(writer, nullptr);
  // Short; lines that disagree with the size; odd and past the maximum; past the maximum.
  const std::pair<std::size_t, std::uint32_t> cases[] = {{monitorFrameBytes(480) - 1, 480},
                                                         {monitorFrameBytes(576), 480},
                                                         {monitorFrameBytes(577), 577},
                                                         {monitorFrameBytes(578), 578}};
  for (const auto& [bytes, lines] : cases)
    EXPECT_FALSE(writer->publish(MonitorChannel::Output, std::vector<std::uint8_t>(bytes), lines)) << lines;
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

  // A board whose name was removed behind its back and made anew by a later one.
  writer = MonitorWriter::open(name);
  reader = MonitorReader::open(name);
  platform::removeSharedMemory(name);
  auto later = MonitorWriter::open(name);
  ASSERT_TRUE(reader && later);
  EXPECT_TRUE(reader->gone());
  writer.reset();
  EXPECT_NE(MonitorReader::open(name), nullptr) << "the earlier board removed the later one's monitor";
  later.reset();
  // Where a mapping keeps its object alive, the next one must be new.
  reader.reset();

  // Something else under the name: too small, or not a monitor.
  for (std::size_t size : {std::size_t{100}, sizeof(MonitorLayout)}) {
    auto stranger = platform::SharedMemory::create(name, size);
    ASSERT_FALSE(stranger.empty());
    EXPECT_EQ(MonitorReader::open(name), nullptr) << size;
    platform::removeSharedMemory(name);
  }
}

// A board that opens the object an earlier board left (on Windows a
// preview's mapping keeps it alive under its name) starts the frame numbers
// again: the reader must let go of the earlier board, not wait for a number
// it has already seen.
TEST(Monitor, ABoardThatTakesOverTheObjectIsFollowedAndKeepsIt) {
  const std::string name = uniqueName();
  auto earlier = MonitorWriter::open(name);
  auto reader = MonitorReader::open(name);
  ASSERT_TRUE(earlier && reader);
  const auto a = frameOf(480, 1), b = frameOf(480, 2), c = frameOf(576, 3);
  ASSERT_TRUE(earlier->publish(MonitorChannel::Input, a, 480));
  MonitorFrame frame;
  ASSERT_EQ(reader->readLatest(MonitorChannel::Input, frame), MonitorRead::NewFrame);

  auto later = MonitorWriter::open(name);
  ASSERT_NE(later, nullptr);
  ASSERT_TRUE(later->publish(MonitorChannel::Input, b, 480));
  EXPECT_EQ(reader->readLatest(MonitorChannel::Input, frame), MonitorRead::Gone) << frame.frameNumber;
  EXPECT_TRUE(reader->gone());

  reader = MonitorReader::open(name);
  ASSERT_NE(reader, nullptr);
  frame = {};
  ASSERT_EQ(reader->readLatest(MonitorChannel::Input, frame), MonitorRead::NewFrame);
  EXPECT_EQ(frame.pixels, b);
  // The earlier board going leaves the later one's monitor open.
  earlier.reset();
  ASSERT_TRUE(later->publish(MonitorChannel::Input, c, 576));
  ASSERT_EQ(reader->readLatest(MonitorChannel::Input, frame), MonitorRead::NewFrame);
  EXPECT_EQ(frame.pixels, c);

  // Taken over during a copy: the same slot and number, but not this board's frame.
  bool taken = false;
  reader->setCopyHook([&] {
    if (std::exchange(taken, true)) return;
    later = MonitorWriter::open(name);
    later->publish(MonitorChannel::Input, b, 480);
  });
  ASSERT_TRUE(later->publish(MonitorChannel::Input, a, 480));
  EXPECT_EQ(reader->readLatest(MonitorChannel::Input, frame), MonitorRead::Gone) << frame.frameNumber;
}

TEST(Monitor, BoardOwnsTheMonitorItsSettingsNameAndStartsItEmpty) {
  const std::string name = uniqueName();
  {
    // An earlier board's object, left with frames in it.
    auto stale = platform::SharedMemory::create(name, sizeof(MonitorLayout));
    ASSERT_FALSE(stale.empty());
    reinterpret_cast<MonitorLayout*>(stale.data())->channels[0].published = 7;
    VirtualBoard board(parseBoardConfig("monitor=/" + name));
    ASSERT_NE(board.monitor(), nullptr);
    MonitorFrame frame;
    EXPECT_EQ(MonitorReader::open(name)->readLatest(MonitorChannel::Output, frame), MonitorRead::NoNewFrame);
    ASSERT_TRUE(board.monitor()->publish(MonitorChannel::Output, frameOf(576, 9), 576));
    auto reader = MonitorReader::open(name);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(reader->readLatest(MonitorChannel::Output, frame), MonitorRead::NewFrame);
    EXPECT_EQ(frame.pixels, frameOf(576, 9));
  }
  EXPECT_EQ(MonitorReader::open(name), nullptr);
}

}  // namespace
}  // namespace corvane::board
