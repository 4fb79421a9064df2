// Reading ahead must never show the host data the file no longer holds, nor
// outlive the file it reads.
#include <gtest/gtest.h>

#include <thread>

#include "pixeltools/field_rows.h"
#include "qvf_test_support.h"

namespace corvane::qvf {
namespace {

using test::patternFrame422;
using test::TempDir;

constexpr std::uint32_t kField = 720 * 240 * 2;  // large enough to be read ahead
const pixeltools::FieldGeometry kGeometry{720, 240};

class ReadAheadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    create(path_.c_str(), 2, 0, 720, 240, 29.97f);
    frames_ = test::writeFrames(registry_, path_, 4, 300, kField);
  }

  std::vector<std::uint8_t> expectedBgra(const platform::PageBuffer& frame) const {
    std::vector<std::uint8_t> bgra(720 * 480 * 4);
    pixeltools::fieldsToBgra(frame.data(), frame.data() + kField, bgra.data(), kGeometry);
    return bgra;
  }

  bool readBgra(std::uint32_t n) {
    return readFrame(registry_, path_.c_str(), n, FrameLayout::Bgra32, test::all(got_));
  }

  TempDir dir_;
  std::string path_ = dir_ / "ahead.qvf";
  OpenFileRegistry registry_;
  std::vector<platform::PageBuffer> frames_;
  std::vector<std::uint8_t> got_ = std::vector<std::uint8_t>(720 * 480 * 4);
};

TEST_F(ReadAheadTest, SequentialAndScatteredReadsGiveTheirOwnFrames) {
  for (std::uint32_t n : {0u, 1u, 2u, 3u, 1u, 3u, 0u, 2u, 2u}) {
    ASSERT_TRUE(readBgra(n)) << n;
    EXPECT_EQ(got_, expectedBgra(frames_[n])) << n;
  }
}

TEST_F(ReadAheadTest, AWriteAfterTheReadAheadIsWhatTheNextReadSees) {
  ASSERT_TRUE(readBgra(2));  // frame 3 is now read ahead
  frames_[3] = patternFrame422(kField, 777);
  {
    OpenFileRegistry::Access entry = registry_.access(path_.c_str());
    ASSERT_TRUE(entry);
    entry->frameCounter = 3;  // the next frame write goes to block 3
  }
  ASSERT_TRUE(writeFrame(registry_, path_.c_str(), FrameLayout::Fields422, test::all(frames_[3])));
  ASSERT_TRUE(readBgra(3));
  EXPECT_EQ(got_, expectedBgra(frames_[3]));
}

TEST_F(ReadAheadTest, ClosingOrEvictingWhileAReadAheadRunsIsSafe) {
  for (int round = 0; round < 20; ++round) {
    ASSERT_TRUE(readBgra(static_cast<std::uint32_t>(round % 3)));
    ASSERT_TRUE(registry_.closeByName(path_.c_str()));  // while frame n + 1 may still be read
  }
  ASSERT_TRUE(readBgra(3));
  EXPECT_EQ(got_, expectedBgra(frames_[3]));
}

TEST_F(ReadAheadTest, TwoThreadsReadingOneFileEachGetTheirFrame) {
  std::vector<std::uint8_t> expected[4];
  for (std::uint32_t n = 0; n < 4; ++n) expected[n] = expectedBgra(frames_[n]);
  auto reader = [&](std::uint32_t offset, int* mismatches) {
    std::vector<std::uint8_t> frame(720 * 480 * 4);
    for (std::uint32_t i = 0; i < 40; ++i) {
      const std::uint32_t n = (i + offset) % 4;
      if (!readFrame(registry_, path_.c_str(), n, FrameLayout::Bgra32, test::all(frame)) ||
          frame != expected[n])
        ++*mismatches;
    }
  };
  int first = 0, second = 0;
  std::thread a(reader, 0u, &first);
  std::thread b(reader, 2u, &second);
  a.join();
  b.join();
  EXPECT_EQ(first, 0);
  EXPECT_EQ(second, 0);
}

}  // namespace
}  // namespace corvane::qvf
