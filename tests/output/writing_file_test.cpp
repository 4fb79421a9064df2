// File names, creation and free space of the file output.
#include "output/writing_file.h"

#include <gtest/gtest.h>

#include <string>

#include "qvf/qvf_test_support.h"
#include "qvf/reader.h"

namespace corvane::output {
namespace {

TEST(WritingFileName, OnlyAThreeLetterExtensionIsKept) {
  EXPECT_EQ(writingFileName("D:\\clips\\take1"), "D:\\clips\\take1.qvf");
  EXPECT_EQ(writingFileName("/clips/take.avi"), "/clips/take.avi");
  EXPECT_EQ(writingFileName("/clips/take.mpeg"), "/clips/take.mpeg.qvf");
  EXPECT_EQ(writingFileName(".avi"), ".avi");
  EXPECT_EQ(writingFileName("a.b"), "a.b.qvf");
  EXPECT_EQ(writingFileName(""), ".qvf");
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

TEST(CreateForWriting, ClosesAReaderOfTheSameNameSoTheNextReadSeesTheEmptyFile) {
  qvf::test::TempDir dir;
  const std::string path = dir / "take.qvf";
  qvf::test::createSmall(path);
  qvf::OpenFileRegistry registry;
  auto frame = qvf::test::patternFrame422(qvf::test::kSmallFieldBytes, 7);
  ASSERT_TRUE(qvf::writeFrame(registry, path.c_str(), qvf::FrameLayout::Fields422, frame.bytes()));
  ASSERT_EQ(qvf::frameCount(registry, path.c_str()), 1u);

  VideoMode small;
  small.frameWidth = qvf::test::kSmallWidth;
  small.frameHeight = qvf::test::kSmallLines * 2;
  ASSERT_TRUE(createForWriting(registry, small, path.c_str()));
  EXPECT_EQ(qvf::frameCount(registry, path.c_str()), 0u);
  EXPECT_EQ(qvf::test::readFileBytes(path).size(), 72u);
}

TEST(CreateForWriting, AnUncreatableFileIsAQuietFailure) {
  qvf::OpenFileRegistry registry;
  EXPECT_FALSE(createForWriting(registry, VideoMode{}, "/nonexistent-dir/sub/take.qvf"));
}

}  // namespace
}  // namespace corvane::output
