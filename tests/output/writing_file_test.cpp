// Free space of the file output, against a fake disk: the file names and the
// creation are checked through the loaded plug-in.
#include "output/writing_file.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane::output {
namespace {

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
