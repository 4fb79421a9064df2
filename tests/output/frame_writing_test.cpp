// Appending host frames at any alignment (the two paths of a 4:2:2 write),
// against a file of another geometry, and without allocating once the file is
// open; the free space, against a fake disk. Sizes, the limits per format, the
// file names and the creation are checked through the plug-in.
#include "output/frame_writing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "output/writing_file.h"
#include "qvf/faulty_storage.h"
#include "qvf/qvf_test_support.h"
#include "qvf/reader.h"
#include "support/allocation_counter.h"

namespace corvane::output {
namespace {

using exports::PixelFormat;
using qvf::test::kSmallFieldBytes;

VideoMode smallMode() {
  VideoMode mode;
  mode.frameWidth = qvf::test::kSmallWidth;
  mode.frameHeight = qvf::test::kSmallLines * 2;
  return mode;
}

class FrameWriting : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(createForWriting(registry_, mode_, path_.c_str())); }
  bool write(PixelFormat format, std::span<std::uint8_t> frame) {
    return writeFrame(registry_, mode_, path_.c_str(), format, frame);
  }
  std::vector<std::uint8_t> fileFrame(std::uint32_t n) {
    registry_.closeByName(path_.c_str());
    const auto bytes = qvf::test::readFileBytes(path_);
    const auto begin = bytes.begin() + 512 + static_cast<long>(n) * 2 * kSmallFieldBytes;
    return {begin, begin + 2 * kSmallFieldBytes};
  }

  qvf::test::TempDir dir_;
  std::string path_ = dir_ / "take.qvf";
  VideoMode mode_ = smallMode();
  qvf::OpenFileRegistry registry_;
};

TEST_F(FrameWriting, A422FrameAtAnyAlignmentReachesTheFileLimitedAndLimitsTheHostBuffer) {
  const std::size_t bytes = 2 * kSmallFieldBytes + 4;
  platform::PageBuffer storage(2 * bytes + 64);
  auto pattern = qvf::test::patternFrame422(kSmallFieldBytes, 3);
  std::vector<std::uint8_t> expected(pattern.data(), pattern.data() + 2 * kSmallFieldBytes);
  expected[5] = 254;
  expected[kSmallFieldBytes + 9] = 254;
  const std::size_t shifts[] = {0, bytes + 5};
  for (std::size_t shift : shifts) {
    std::span<std::uint8_t> frame = storage.bytes().subspan(shift, bytes);
    std::copy(expected.begin(), expected.end(), frame.begin());
    frame[5] = 255;
    frame[kSmallFieldBytes + 9] = 255;
    std::fill(frame.end() - 4, frame.end(), std::uint8_t{255});
    ASSERT_TRUE(write(PixelFormat::Ycbcr422, frame)) << "shift " << shift;
    EXPECT_EQ(frame[5], 254);
    EXPECT_EQ(frame[kSmallFieldBytes + 9], 254);
    EXPECT_EQ(frame[bytes - 1], 254) << "the trailer is limited too";
  }
  EXPECT_EQ(fileFrame(0), expected);
  EXPECT_EQ(fileFrame(1), expected);
}

TEST_F(FrameWriting, AFileOfAnotherGeometryTakesNoFrame) {
  VideoMode wider = mode_;
  wider.frameWidth *= 2;
  std::vector<std::uint8_t> frame(
      exports::frameBytes(PixelFormat::Rgba32, wider.frameWidth, wider.frameHeight), 9);
  EXPECT_FALSE(writeFrame(registry_, wider, path_.c_str(), PixelFormat::Rgba32, frame));
  frame.resize(exports::frameBytes(PixelFormat::Ycbcr422, wider.frameWidth, wider.frameHeight));
  EXPECT_FALSE(writeFrame(registry_, wider, path_.c_str(), PixelFormat::Ycbcr422, frame));
  EXPECT_EQ(qvf::frameCount(registry_, path_.c_str()), 0u);
}

TEST_F(FrameWriting, FramesOnAnOpenFileAllocateNothing) {
  std::vector<std::uint8_t> frame422(2 * kSmallFieldBytes + 4 + 1, 100);
  std::vector<std::uint8_t> frame4(4 * kSmallFieldBytes, 100);
  // Warm-up: opens the file and lets the colour conversion pick its kernel.
  ASSERT_TRUE(write(PixelFormat::Ycbcr422, std::span(frame422).first(2 * kSmallFieldBytes + 4)));
  ASSERT_TRUE(write(PixelFormat::Rgba32, frame4));
  const std::size_t before = corvane::testing::allocationCount();
  EXPECT_TRUE(write(PixelFormat::Ycbcr422, std::span(frame422).subspan(1)));
  EXPECT_TRUE(write(PixelFormat::Ycbcr444, frame4));
  EXPECT_TRUE(write(PixelFormat::Rgba32, frame4));
  EXPECT_EQ(corvane::testing::allocationCount(), before);
  EXPECT_EQ(qvf::frameCount(registry_, path_.c_str()), 5u);
}

// Frames of the load-time size: converted and copied frames are written
// behind, on the file's helper thread.
class FullFrameWriting : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(createForWriting(registry_, mode_, path_.c_str())); }
  bool write(PixelFormat format, std::span<std::uint8_t> frame) {
    return writeFrame(registry_, mode_, path_.c_str(), format, frame);
  }

  qvf::test::TempDir dir_;
  std::string path_ = dir_ / "take.qvf";
  VideoMode mode_ = VideoMode::fromSetting(1);
  qvf::FaultyStorage faulty_{qvf::diskStorage()};
  qvf::OpenFileRegistry registry_{faulty_};
  std::vector<std::uint8_t> frame4_ = std::vector<std::uint8_t>(720 * 480 * 4, 100);
};

TEST_F(FullFrameWriting, FramesWrittenBehindAllocateNothingAfterTheFirst) {
  std::vector<std::uint8_t> frame422(720 * 480 * 2 + 4 + 1, 100);
  // The first frame opens the file and starts its helper thread.
  ASSERT_TRUE(write(PixelFormat::Rgba32, frame4_));
  const std::size_t before = corvane::testing::allocationCount();
  EXPECT_TRUE(write(PixelFormat::Ycbcr422, std::span(frame422).subspan(1)));
  EXPECT_TRUE(write(PixelFormat::Ycbcr444, frame4_));
  EXPECT_TRUE(write(PixelFormat::Rgba32, frame4_));
  EXPECT_EQ(corvane::testing::allocationCount(), before);
  EXPECT_EQ(qvf::frameCount(registry_, path_.c_str()), 4u);
}

// The failure of the old file's last frame, unreported when a new file of the
// name is made, belongs to no frame of the new file.
TEST_F(FullFrameWriting, ANewFileOfTheNameDropsTheOldFilesUnreportedFailure) {
  faulty_.failTransfer(1);
  EXPECT_TRUE(write(PixelFormat::Rgba32, frame4_)) << "its failure comes later";
  ASSERT_TRUE(createForWriting(registry_, mode_, path_.c_str()));
  EXPECT_TRUE(write(PixelFormat::Rgba32, frame4_));
  EXPECT_TRUE(write(PixelFormat::Rgba32, frame4_));
  EXPECT_TRUE(registry_.closeByName(path_.c_str()));
  EXPECT_FALSE(registry_.takeClosedWriteFailure(path_.c_str()));
}

TEST(FreeSpaceDirectory, DriveLettersMeanTheCurrentDirectory) {
  EXPECT_EQ(freeSpaceDirectory("D:\\clips\\take1"), ".");
  EXPECT_EQ(freeSpaceDirectory("/data/clips/take1.qvf"), "/data/clips");
  EXPECT_EQ(freeSpaceDirectory("/take1.qvf"), "/");
  EXPECT_EQ(freeSpaceDirectory("take1.qvf"), ".");
  EXPECT_EQ(freeSpaceDirectory("1:/x/y"), "1:/x");  // a digit is no drive letter
}

std::optional<std::uint64_t> gFreeBytes;
std::string gAskedAbout;
std::optional<std::uint64_t> fakeFreeBytes(const char* directory) {
  gAskedAbout = directory;
  return gFreeBytes;
}

TEST(FramesThatFit, WholeFrameBlocksOfTheLoadTimeModeInTheLow32Bits) {
  const VideoMode ntsc = VideoMode::fromSetting(1);
  const VideoMode pal = VideoMode::fromSetting(0);
  gFreeBytes = 691200ull * 1000 + 5;
  EXPECT_EQ(framesThatFit("/clips/take1.qvf", ntsc, fakeFreeBytes), 1000u);
  EXPECT_EQ(gAskedAbout, "/clips");
  EXPECT_EQ(framesThatFit("/clips/take1.qvf", pal, fakeFreeBytes), 691200ull * 1000 / 829440);
  gFreeBytes = 691200ull * ((1ull << 32) + 3) + 691199;
  EXPECT_EQ(framesThatFit("take1", ntsc, fakeFreeBytes), 3u);
  gFreeBytes = std::nullopt;
  EXPECT_EQ(framesThatFit("take1", ntsc, fakeFreeBytes), std::nullopt);
}

}  // namespace
}  // namespace corvane::output
