// The board's output stream: how many frames it owns and when each is free
// again, and what it leaves in the output= and shown= files.
#include "board/output_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/fake_clock.h"
#include "support/temp_dir.h"

namespace corvane::board {
namespace {

constexpr std::uint64_t kNtscFramePeriod = 33367;  // 1001/30 ms, rounded up
constexpr std::size_t kPalFrame = 720 * 576 * 2;

class Output : public ::testing::Test {
 protected:
  OutputStream make(const OutputFileMaker& maker = {}) { return OutputStream(log_, config_, clock_, maker); }
  engine::Handle acquire(OutputStream& stream, void** data = nullptr) {
    std::uint32_t cookie = 0;
    void* area = nullptr;
    const engine::Handle token = stream.acquireFrame(1, &area, &cookie);
    EXPECT_EQ(cookie, token);
    EXPECT_EQ(area == nullptr, token == 0);
    if (data != nullptr) *data = area;
    return token;
  }

  testing::TempDir dir_;
  CallLog log_{""};
  BoardConfig config_;
  testing::FakeClock clock_;
};

TEST_F(Output, AFrameOnAirIsFreeAgainOnePeriodLater) {
  config_.outputFrames = 2;
  OutputStream stream = make();
  EXPECT_NE(stream.open("media.apps.Veltrix", 0), 0u);
  const engine::Handle first = acquire(stream);
  const engine::Handle second = acquire(stream);
  EXPECT_TRUE(first != 0 && second != 0 && first != second);
  EXPECT_EQ(acquire(stream), 0u) << "both frames are out";
  stream.submitFrame(1, first, first);
  stream.submitFrame(1, first, first);  // twice: the second is not a held frame
  stream.submitFrame(1, 99, 99);
  EXPECT_EQ(stream.submittedFrames(), 1u);
  clock_.now += kNtscFramePeriod - 1;
  EXPECT_EQ(acquire(stream), 0u) << "still on air";
  clock_.now += 1;
  EXPECT_EQ(acquire(stream), first);
  clock_.now += 10 * kNtscFramePeriod;
  EXPECT_EQ(acquire(stream), 0u) << "a frame held and never submitted stays out";
}

TEST_F(Output, SubmittedFramesReachTheFilesAndTheWatcher) {
  config_.outputPath = dir_ / "out.qvf";
  config_.shownPath = dir_ / "shown.txt";
  config_.outputFrames = 4;
  VideoStandard made = VideoStandard::Ntsc;
  OutputStream stream = make([&](const std::string& path, VideoStandard standard) {
    made = standard;
    std::ofstream(path, std::ios::binary) << "HEAD";
    return true;
  });
  std::uint32_t watchedLines = 0;
  std::uint8_t watchedFirst = 0;
  stream.setWatcher([&](std::span<const std::uint8_t> frame, std::uint32_t lines) {
    watchedLines = lines;
    watchedFirst = frame[0];
    EXPECT_EQ(frame.size(), kPalFrame);
  });
  stream.open("media.apps.Veltrix", 1);
  EXPECT_EQ(made, VideoStandard::Pal);
  EXPECT_EQ(testing::readFile(config_.outputPath), std::string("HEAD") + std::string(508, '\0'));

  std::uint64_t times[2] = {};
  for (std::uint8_t value : {7, 9}) {
    void* area = nullptr;
    const engine::Handle token = acquire(stream, &area);
    ASSERT_NE(token, 0u);
    std::memset(area, value, kPalFrame);
    times[value == 9] = clock_.now;
    stream.submitFrame(1, token, token);
    clock_.now += 5;
  }
  stream.close(1);
  EXPECT_EQ(watchedLines, 576u);
  EXPECT_EQ(watchedFirst, 9);
  const std::string out = testing::readFile(config_.outputPath);
  ASSERT_EQ(out.size(), 512 + 2 * kPalFrame);
  EXPECT_EQ(out.substr(512, kPalFrame), std::string(kPalFrame, '\7'));
  EXPECT_EQ(out.substr(512 + kPalFrame), std::string(kPalFrame, '\x09'));

  const std::vector<std::uint8_t> sevens(kPalFrame, 7), nines(kPalFrame, 9);
  char expected[200];
  std::snprintf(expected, sizeof expected, "1 %llu %016llx\n2 %llu %016llx\n",
                static_cast<unsigned long long>(times[0]), static_cast<unsigned long long>(frameHash(sevens)),
                static_cast<unsigned long long>(times[1]), static_cast<unsigned long long>(frameHash(nines)));
  EXPECT_EQ(testing::readFile(config_.shownPath), expected);
}

TEST(FrameHash, IsFnv1a64) {
  const std::uint8_t a[] = {'a'};
  EXPECT_EQ(frameHash(a), 0xaf63dc4c8601ec8cULL);
  EXPECT_EQ(frameHash({}), 0xcbf29ce484222325ULL);
}

}  // namespace
}  // namespace corvane::board
