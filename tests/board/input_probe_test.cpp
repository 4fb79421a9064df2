// The board's input as a probe callback sees it: what each field carries in
// its FrameInfo and pixels, the counts, the input faults, a restart, and
// that no callback runs once the probe is detached.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "board/test_pattern.h"
#include "board/virtual_board.h"
#include "support/deadline.h"
#include "support/temp_dir.h"

namespace corvane::board {
namespace {

using Info = engine::FrameInfoLayout;

struct Field {
  std::uint32_t id, count, parity, samplesPerLine;
  std::vector<std::uint8_t> pixels;
};

// Collects every delivered field and hands it back, as the record device does.
struct Taker {
  VirtualBoard* board = nullptr;
  std::size_t fieldBytes = 0;
  std::mutex lock;
  std::vector<Field> fields;
  std::atomic<std::size_t> seen{0};

  static void callback(void* context, void* data, const std::uint8_t* info) {
    auto* taker = static_cast<Taker*>(context);
    auto word = [&](std::uint32_t at) {
      std::uint32_t value;
      std::memcpy(&value, info + at, 4);
      return value;
    };
    const auto* pixels = static_cast<const std::uint8_t*>(data);
    {
      std::lock_guard guard(taker->lock);
      taker->fields.push_back(
          {word(Info::kFrameIdentifier), word(Info::kFrameCount),
           static_cast<std::uint32_t>(taker->board->FieldParity(info + Info::kParityStamp)),
           word(Info::kSamplesPerLine), std::vector<std::uint8_t>(pixels, pixels + taker->fieldBytes)});
    }
    taker->board->ReturnInputFrame(taker->board->GetProbeSource(0x50000001), word(Info::kFrameIdentifier));
    taker->seen.fetch_add(1);
  }
};

class Input : public ::testing::Test {
 protected:
  // Attaches a probe with taker's callback and waits for fields fields.
  void take(VirtualBoard& board, Taker& taker, std::size_t fields) {
    taker.board = &board;
    const engine::Handle probe =
        board.CreateProbe(board.FindEngineObject(board.OpenEngine()), "media.apps.Veltrix.probe");
    ASSERT_EQ(board.AttachProbe(probe, "media.pins.corvane.vin0.out"), 1);
    ASSERT_EQ(board.SetProbeCallback(probe, &taker, &Taker::callback), 1);
    while (taker.seen.load() < fields) std::this_thread::yield();
    ASSERT_EQ(board.AttachProbe(probe, nullptr), 1);
  }

  testing::TempDir dir_;
  BoardConfig config_;
};

TEST_F(Input, FieldsCarryTheirCountParityAndStandardAndTheFaultsShapeTheSequence) {
  // The log lines and the hand-back of every field are paired in tests/abi.
  config_ = parseBoardConfig(
      "input_rate=5000,input_frames=4,missing_field=2,first_count=4294967295,input_standard=pal");
  ASSERT_TRUE(config_.problems.empty());
  VirtualBoard board(config_);
  const engine::Handle sw = board.OpenSwitcher("s");
  EXPECT_EQ(board.CurrentFrameCount(sw, 0, 0), 4294967294u) << "first_count - 1 before any frame";
  Taker taker;
  taker.fieldBytes = fieldBytes(VideoStandard::Pal);
  take(board, taker, 7);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the input is silent after four frames
  ASSERT_EQ(taker.fields.size(), 7u);
  const std::uint32_t counts[] = {0xffffffff, 0xffffffff, 0, 1, 1, 2, 2};  // frame 2 lacks its second field
  const std::uint32_t parities[] = {0, 1, 0, 0, 1, 0, 1};
  for (std::size_t i = 0; i < 7; ++i) {
    const Field& field = taker.fields[i];
    EXPECT_EQ(field.count, counts[i]) << i;
    EXPECT_EQ(field.parity, parities[i]) << i;
    EXPECT_EQ(field.samplesPerLine, 1728u);
    std::vector<std::uint8_t> pattern(taker.fieldBytes);
    drawTestPatternField(VideoStandard::Pal, field.count, static_cast<FieldParity>(field.parity), pattern);
    EXPECT_TRUE(field.pixels == pattern) << "field " << i << " is the test picture of its count";
  }
  EXPECT_EQ(board.CurrentFrameCount(sw, 0, 0), 2u) << "the count of the last frame begun";
}

TEST_F(Input, EachCallbackStartsTheClipAnewWhileCountsGoOnAndLoopbackCarriesTheShownFrame) {
  const std::uint32_t field = static_cast<std::uint32_t>(fieldBytes(VideoStandard::Ntsc));
  std::vector<std::uint8_t> clip(512, 0);
  const std::uint32_t header[] = {0x52544D46, 1, 512, 2, 2 * field, 0};
  std::memcpy(clip.data(), header, sizeof header);
  for (int s = 0; s < 2; ++s) {
    const std::uint32_t stream[] = {1 | 8 << 16, field, 0, 0, 1440, 240};
    std::memcpy(clip.data() + 24 + 24 * s, stream, sizeof stream);
  }
  for (std::uint8_t frame = 0; frame < 3; ++frame)
    for (std::uint8_t f = 0; f < 2; ++f)
      clip.insert(clip.end(), field, static_cast<std::uint8_t>(10 * frame + f));
  std::ofstream(dir_ / "clip.qvf", std::ios::binary).write(reinterpret_cast<char*>(clip.data()), clip.size());

  config_.input = InputSource::File;
  config_.inputPath = dir_ / "clip.qvf";
  config_.inputRate = {InputRate::Pace::Fixed, {5000, 1}};
  config_.faults.inputFrames = 4;
  VirtualBoard board(config_);
  std::vector<std::uint32_t> firstBytes, counts;
  for (int run = 0; run < 2; ++run) {
    Taker taker;
    taker.fieldBytes = field;
    take(board, taker, 8);
    for (std::size_t i = 0; i < 8; ++i) {
      firstBytes.push_back(taker.fields[i].pixels.front());
      counts.push_back(taker.fields[i].count);
      EXPECT_EQ(taker.fields[i].pixels.back(), taker.fields[i].pixels.front());
    }
  }
  EXPECT_EQ(firstBytes, (std::vector<std::uint32_t>{0, 1, 10, 11, 20, 21, 0, 1, 0, 1, 10, 11, 20, 21, 0, 1}));
  EXPECT_EQ(counts, (std::vector<std::uint32_t>{1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8}));

  config_.input = InputSource::Loopback;
  VirtualBoard loop(config_);
  Taker black;
  black.fieldBytes = field;
  take(loop, black, 2);
  EXPECT_EQ(std::vector<std::uint8_t>(black.fields[0].pixels.begin(), black.fields[0].pixels.begin() + 4),
            (std::vector<std::uint8_t>{0x80, 0x10, 0x80, 0x10}))
      << "video black before anything is shown";
  std::vector<std::uint8_t> shown(2 * field, 7);
  std::fill(shown.begin() + field, shown.end(), 9);
  loop.shownFrame().show(shown);
  Taker taker;
  taker.fieldBytes = field;
  take(loop, taker, 2);
  EXPECT_TRUE(taker.fields[0].pixels == std::vector<std::uint8_t>(field, 7));
  EXPECT_TRUE(taker.fields[1].pixels == std::vector<std::uint8_t>(field, 9));
}

// A callback that calls the board while the host detaches: the detach waits
// for it and returns, instead of holding a lock the callback needs. Run under
// a deadline, so that a deadlock fails the run instead of stalling it.
struct CallingTaker {
  VirtualBoard* board = nullptr;
  std::atomic<std::size_t> seen{0};
  std::atomic<bool> detaching{false};
  std::atomic<bool> inCallback{false};

  // Once the host is about to detach, one callback lets the detach begin
  // and then calls the board.
  static void callback(void* context, void*, const std::uint8_t* info) {
    auto* taker = static_cast<CallingTaker*>(context);
    if (taker->detaching.load() && !taker->inCallback.exchange(true)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      taker->board->FindEngineObject(0);
    }
    std::uint32_t id;
    std::memcpy(&id, info + Info::kFrameIdentifier, 4);
    taker->board->ReturnInputFrame(taker->board->GetProbeSource(0x50000001), id);
    taker->seen.fetch_add(1);
  }
};

TEST_F(Input, ADetachWaitsForACallbackThatCallsTheBoard) {
  config_ = parseBoardConfig("input_rate=2000");
  const int outcome = testing::finishWithin(
      std::chrono::seconds(20), "the detach waits for a callback that waits for it", [this] {
        VirtualBoard board(config_);
        CallingTaker taker;
        taker.board = &board;
        const engine::Handle probe =
            board.CreateProbe(board.FindEngineObject(board.OpenEngine()), "media.apps.Veltrix.probe");
        board.AttachProbe(probe, "media.pins.corvane.vin0.out");
        board.SetProbeCallback(probe, &taker, &CallingTaker::callback);
        for (int i = 0; i < 5000 && taker.seen.load() < 2; ++i)
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (taker.seen.load() < 2) return 2;
        taker.detaching = true;
        for (int i = 0; i < 5000 && !taker.inCallback.load(); ++i)
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (!taker.inCallback.load()) return 4;
        return board.AttachProbe(probe, nullptr) == 1 ? 0 : 3;
      });
  EXPECT_EQ(outcome, 0) << "2: fewer than two fields, 4: no callback entered, 3: the detach failed";
}

}  // namespace
}  // namespace corvane::board
