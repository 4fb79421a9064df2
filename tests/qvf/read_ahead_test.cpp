// The read ahead on a file's helper thread must never show the host data the
// file no longer holds, nor outlive the file; readers of one file each get
// their own frame.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "pixeltools/field_rows.h"
#include "qvf_test_support.h"

namespace corvane::qvf {
namespace {

using test::kFullFieldBytes;

constexpr std::size_t kBgraBytes = 720 * 480 * 4;

// Fields this large are read ahead.
class ReadAheadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    create(path_.c_str(), 2, 0, 720, 240, 29.97f);
    for (std::uint32_t n = 0; n < 4; ++n)
      setFrame(n, test::writeFrames(registry_, path_, 1, 300 + n, kFullFieldBytes)[0]);
  }
  void setFrame(std::uint32_t n, const platform::PageBuffer& frame) {
    expected_[n].resize(kBgraBytes);
    pixeltools::fieldsToBgra(frame.data(), frame.data() + kFullFieldBytes, expected_[n].data(), {720, 240});
  }
  // Frame n reads back as written, into buffer.
  bool readsBack(std::uint32_t n, std::vector<std::uint8_t>& buffer) {
    return readFrame(registry_, path_.c_str(), n, FrameLayout::Bgra32, buffer) && buffer == expected_[n];
  }

  test::TempDir dir_;
  std::string path_ = dir_ / "ahead.qvf";
  OpenFileRegistry registry_;
  std::vector<std::uint8_t> expected_[4];
  std::vector<std::uint8_t> got_ = std::vector<std::uint8_t>(kBgraBytes);
};

TEST_F(ReadAheadTest, EachReadGivesItsOwnFrameAndAWriteDiscardsTheFrameReadAhead) {
  for (std::uint32_t n : {0u, 1u, 3u, 1u}) EXPECT_TRUE(readsBack(n, got_)) << n;
  // Frame 2 is read ahead now; overwrite its block.
  const platform::PageBuffer frame = test::patternFrame422(kFullFieldBytes, 777);
  setFrame(2, frame);
  registry_.access(path_.c_str())->frameCounter = 2;
  ASSERT_TRUE(writeFrame(registry_, path_.c_str(), FrameLayout::Fields422, frame.bytes()));
  EXPECT_TRUE(readsBack(2, got_));
}

// Two readers of one file share its chunk buffers and its read ahead; one of
// them closes the file after each read, while its read ahead may still run
// and the other may be reading: a close waits for both.
TEST_F(ReadAheadTest, ReadersOfOneFileGetTheirOwnFramesWhileOneOfThemCloses) {
  std::atomic<int> mismatches{0};
  auto reader = [&](std::uint32_t offset, bool close) {
    std::vector<std::uint8_t> frame(kBgraBytes);
    for (std::uint32_t i = 0; i < 40; ++i) {
      if (!readsBack((i + offset) % 4, frame)) ++mismatches;
      if (close) registry_.closeByName(path_.c_str());
    }
  };
  std::thread a(reader, 0u, false), b(reader, 2u, true);
  a.join();
  b.join();
  EXPECT_EQ(mismatches, 0);
}

}  // namespace
}  // namespace corvane::qvf
