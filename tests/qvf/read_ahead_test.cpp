// The read ahead on a file's helper thread must never show the host data the
// file no longer holds, nor outlive the file; readers of one file each get
// their own frame.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "pixeltools/field_rows.h"
#include "qvf/faulty_storage.h"
#include "qvf/memory_storage.h"
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

// In memory, with every transfer counted: what the helper reads, and when.
class ReadAheadInMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    create(faulty_, path_.c_str(), 2, 0, 720, 240, 29.97f);
    for (std::uint32_t n = 0; n < kFrames; ++n)
      setFrame(n, test::writeFrames(registry_, path_, 1, 500 + n, kFullFieldBytes)[0]);
  }
  void setFrame(std::uint32_t n, const platform::PageBuffer& frame) {
    expected_[n].resize(kBgraBytes);
    pixeltools::fieldsToBgra(frame.data(), frame.data() + kFullFieldBytes, expected_[n].data(), {720, 240});
  }
  bool readsBack(std::uint32_t n) {
    return readFrame(registry_, path_.c_str(), n, FrameLayout::Bgra32, got_) && got_ == expected_[n];
  }

  static constexpr std::uint32_t kFrames = 8;
  MemoryStorage memory_;
  FaultyStorage faulty_{memory_};
  std::string path_ = "clip.qvf";
  OpenFileRegistry registry_{faulty_};
  std::vector<std::uint8_t> expected_[kFrames];
  std::vector<std::uint8_t> got_ = std::vector<std::uint8_t>(kBgraBytes);
};

// Frame 0 is read in the call; from then on the helper keeps two frames
// ahead, each read once: five frames read in turn cost seven reads once the
// close has let the helper end.
TEST_F(ReadAheadInMemory, ASequentialReaderHasTwoFramesReadAheadEachReadOnce) {
  const std::uint64_t before = faulty_.transferCount();
  for (std::uint32_t n = 0; n < 5; ++n) EXPECT_TRUE(readsBack(n)) << n;
  registry_.closeByName(path_.c_str());
  EXPECT_EQ(faulty_.transferCount() - before, 7u);
}

// The read ahead of frame 2 fails: frame 2 is read again in its own call, and
// the frames after it come as usual.
TEST_F(ReadAheadInMemory, AFailedReadAheadIsReadAgainInTheCall) {
  faulty_.failTransfer(3);  // frame 0 in the call, then 1 and 2 ahead
  for (std::uint32_t n = 0; n < 6; ++n) EXPECT_TRUE(readsBack(n)) << n;
}

// Frames 1 and 2 are read ahead; a converted frame written behind to block 1
// makes them stale, and the next read gives the new frame.
TEST_F(ReadAheadInMemory, AFrameWrittenBehindOverFramesReadAheadIsWhatTheNextReadGives) {
  ASSERT_TRUE(readsBack(0));
  std::vector<std::uint8_t> bgra(kBgraBytes);
  for (std::size_t i = 0; i < bgra.size(); ++i) bgra[i] = static_cast<std::uint8_t>(i * 7 + 3);
  registry_.access(path_.c_str())->frameCounter = 1;
  ASSERT_TRUE(writeFrame(registry_, path_.c_str(), FrameLayout::Bgra32, bgra));
  platform::PageBuffer fields(kFullFieldBytes * 2);
  pixeltools::fieldsFromBgra(bgra.data(), fields.data(), fields.data() + kFullFieldBytes, {720, 240});
  setFrame(1, fields);
  EXPECT_TRUE(readsBack(1));
  EXPECT_TRUE(readsBack(2));
}

}  // namespace
}  // namespace corvane::qvf
