// Frames through the registry: what the writer puts where, what the readers
// give back in each layout, the one-seek rule, the position cache, and files
// larger than 4 GiB.
#include <gtest/gtest.h>

#include <optional>

#include "qvf/memory_storage.h"
#include "qvf_test_support.h"

namespace corvane::qvf {
namespace {

using test::kSmallFieldBytes;
using test::kSmallLines;
using test::kSmallWidth;
using test::patternFrame422;
using test::sameBytes;
using test::TempDir;

constexpr std::uint32_t kFrameBytes4 = kSmallWidth * kSmallLines * 2 * 4;

// In memory: the engine's arithmetic and caching, whatever the disk does.
class FrameIo : public ::testing::Test {
 protected:
  void SetUp() override { test::createSmall(path_, storage_); }
  const char* path() const { return path_.c_str(); }
  auto writeFrames(std::uint32_t count) { return test::writeFrames(registry_, path_, count); }
  StreamingFile& file() { return registry_.access(path())->stream->file(); }

  MemoryStorage storage_;
  std::string path_ = "clip.qvf";
  OpenFileRegistry registry_{storage_};
  platform::PageBuffer frame_{kSmallFieldBytes * 4};  // a 4:4:4 frame; a 4:2:2 one is half
};

TEST_F(FrameIo, ReadingAFrameSeeksAtMostOnceAndConsecutiveFramesNotAgain) {
  writeFrames(3);
  ASSERT_TRUE(registry_.closeByName(path()));
  ASSERT_TRUE(readFrame(registry_, path(), 1, FrameLayout::Fields422, test::all(frame_)));
  EXPECT_EQ(file().seekCount(), 1u);
  ASSERT_TRUE(readFrame(registry_, path(), 2, FrameLayout::Fields422, test::all(frame_)));
  EXPECT_EQ(file().seekCount(), 1u) << "frame 2 starts where frame 1 ended";
  ASSERT_TRUE(readFrame(registry_, path(), 0, FrameLayout::Ycbcr444, test::all(frame_)));
  ASSERT_TRUE(readFrame(registry_, path(), 0, FrameLayout::Ycbcr444, test::all(frame_)));
  EXPECT_EQ(file().seekCount(), 3u);
  EXPECT_FALSE(readFrame(registry_, path(), 3, FrameLayout::Fields422, test::all(frame_)))
      << "frame number equal to the count";
  EXPECT_FALSE(readFrame(registry_, path(), 3, FrameLayout::Ycbcr444, test::all(frame_)));
}

TEST_F(FrameIo, ReadBeyondTheEndFailsAndAdvancesTheCacheByWhatWasRead) {
  writeFrames(1);
  // Half a frame block more: field 0 of frame 1 is whole, field 1 is missing.
  const platform::PageBuffer half = patternFrame422(kSmallFieldBytes / 2, 7);
  {
    auto entry = registry_.access(path());
    QvfStream& stream = *entry->stream;
    ASSERT_TRUE(stream.writeField(2, 0, test::all(half)));
    EXPECT_FALSE(stream.readField(3, 0, test::all(frame_)));
    EXPECT_EQ(stream.file().cachedPosition(), 512u + 3 * kSmallFieldBytes) << "nothing read past the end";
  }
  EXPECT_FALSE(readFrame(registry_, path(), 1, FrameLayout::Fields422, test::all(frame_)));
  EXPECT_TRUE(sameBytes(half, frame_.data())) << "the first field is delivered even though the second fails";
}

TEST_F(FrameIo, FailedSeekNeverLetsTheNextTransferSkipItsSeek) {
  writeFrames(1);
  const std::uint64_t before = file().seekCount();
  EXPECT_FALSE(file().seekTo(0x8000'0000'0000'0000ull));
  EXPECT_FALSE(file().seekTo(0x8000'0000'0000'0000ull));
  EXPECT_EQ(file().seekCount(), before + 2) << "the second attempt went to the system again";
  EXPECT_EQ(file().cachedPosition(), kInvalidPosition);
  EXPECT_TRUE(file().seekTo(512));
  EXPECT_TRUE(file().seekTo(512));
  EXPECT_EQ(file().seekCount(), before + 3);
}

TEST_F(FrameIo, UnpositionedWriteForcesTheNextPositionedTransferToSeek) {
  writeFrames(1);  // leaves the pointer at frame block 1
  ASSERT_TRUE(appendFrameRaw(registry_, path(), test::all(patternFrame422(kSmallFieldBytes, 11))));
  EXPECT_EQ(file().seekCount(), 1u) << "the append followed the previous frame without a seek";
  EXPECT_EQ(file().cachedPosition(), kInvalidPosition);
  // Field 4 starts exactly where the append ended; it must still seek.
  EXPECT_FALSE(registry_.access(path())->stream->readField(4, 0, test::all(frame_)));  // past the end
  EXPECT_EQ(file().seekCount(), 2u);
  EXPECT_EQ(file().cachedPosition(), 512u + 4 * kSmallFieldBytes);
}

// RGBA-32 puts display row 0 last, 4:4:4 interleaves the fields; the small
// size converts inline, the full size on helper threads with read-ahead.
TEST(FrameConversions, MatchTheRowByRowDefinition) {
  for (const auto& [width, lines] : {std::pair{kSmallWidth, kSmallLines}, std::pair{720u, 240u}}) {
    SCOPED_TRACE(width);
    TempDir dir;
    const std::string path = dir / "f.qvf";
    create(path.c_str(), 2, 0, static_cast<std::int32_t>(width), static_cast<std::int32_t>(lines), 29.97f);
    OpenFileRegistry registry;
    const auto frames = test::writeFrames(registry, path, 3, 70, width * lines * 2);
    std::vector<std::uint8_t> got(std::size_t{width} * lines * 8);
    for (std::uint32_t n : {2u, 0u, 1u}) {
      ASSERT_TRUE(readFrame(registry, path.c_str(), n, FrameLayout::Bgra32, test::all(got)));
      EXPECT_EQ(got, test::bgraByRows(frames[n].data(), width, lines)) << n;
      ASSERT_TRUE(readFrame(registry, path.c_str(), n, FrameLayout::Ycbcr444, test::all(got)));
      EXPECT_EQ(got, test::yuvaByRows(frames[n].data(), width, lines)) << n;
    }
    EXPECT_FALSE(readFrame(registry, path.c_str(), 3, FrameLayout::Bgra32, test::all(got)));
  }
}

TEST_F(FrameIo, A444FrameWrittenBackGivesTheSameFileBytes) {
  writeFrames(2);
  std::vector<std::uint8_t> yuva(kFrameBytes4);
  for (std::uint32_t n = 0; n < 2; ++n) {
    ASSERT_TRUE(readFrame(registry_, path(), n, FrameLayout::Ycbcr444, test::all(yuva)));
    ASSERT_TRUE(writeFrame(registry_, path(), FrameLayout::Ycbcr444, test::all(yuva)));
  }
  ASSERT_TRUE(registry_.closeByName(path()));
  const auto bytes = storage_.bytes(path_);
  const std::size_t block = 2 * kSmallFieldBytes;
  ASSERT_EQ(bytes.size(), 512 + 4 * block);
  EXPECT_TRUE(
      std::equal(bytes.begin() + 512, bytes.begin() + 512 + 2 * block, bytes.begin() + 512 + 2 * block));
}

TEST_F(FrameIo, BgraFramesAreEncodedRowByRowFromTheBottom) {
  std::vector<std::uint8_t> bgra(kFrameBytes4);
  for (std::size_t i = 0; i < bgra.size(); ++i) bgra[i] = static_cast<std::uint8_t>(i * 13 + i / 64);
  ASSERT_TRUE(writeFrame(registry_, path(), FrameLayout::Bgra32, test::all(bgra)));
  ASSERT_TRUE(readFrame(registry_, path(), 0, FrameLayout::Fields422, test::all(frame_)));
  std::vector<std::uint8_t> expected(kSmallWidth * 2);
  for (std::uint32_t row = 0; row < 2 * kSmallLines; ++row) {
    encode_bgra_ycbcr8(expected.data(), &bgra[(2 * kSmallLines - 1 - row) * kSmallWidth * 4], kSmallWidth);
    ASSERT_TRUE(std::equal(expected.begin(), expected.end(),
                           test::displayRow(frame_.data(), kSmallWidth, kSmallLines, row)))
        << row;
  }
}

// A file without write permission opens through the read-only attempt, on
// disk and in memory alike.
TEST(FrameIoReadOnly, ReadOnlyFileReadsButRefusesEveryWrite) {
  TempDir dir;
  MemoryStorage memory;
  for (Storage* storage : {&diskStorage(), static_cast<Storage*>(&memory)}) {
    const std::string path = dir / "clip.qvf";
    test::createSmall(path, *storage);
    OpenFileRegistry registry(*storage);
    const auto frames = test::writeFrames(registry, path, 2);
    ASSERT_TRUE(registry.closeByName(path.c_str()));
    std::optional<test::ReadOnlyFile> onDisk;
    if (storage == &memory) {
      memory.setReadOnly(path, true);
    } else if (onDisk.emplace(path); onDisk->writable()) {
      continue;  // cannot make a read-only file on this disk
    }
    platform::PageBuffer frame(kSmallFieldBytes * 2);
    ASSERT_TRUE(readFrame(registry, path.c_str(), 1, FrameLayout::Fields422, test::all(frame)));
    EXPECT_TRUE(sameBytes(frames[1], frame.data()));
    EXPECT_EQ(registry.access(path.c_str())->stream->file().openAttempt(),
              StreamOpenAttempt::ReadOnlyUnbuffered);
    OpenFileRegistry other(*storage);
    EXPECT_EQ(frameCount(other, path.c_str()), 2u) << "readers share";
    EXPECT_FALSE(writeFrame(registry, path.c_str(), FrameLayout::Fields422, test::all(frames[0])));
    std::vector<std::uint8_t> yuva(kFrameBytes4, 50);
    EXPECT_FALSE(writeFrame(registry, path.c_str(), FrameLayout::Ycbcr444, test::all(yuva)));
    EXPECT_FALSE(writeFrame(registry, path.c_str(), FrameLayout::Bgra32, test::all(yuva)));
    EXPECT_FALSE(appendFrameRaw(registry, path.c_str(), test::all(frames[0])));
    EXPECT_EQ(registry.access(path.c_str())->frameCounter, 6u);
    EXPECT_EQ(frameCount(registry, path.c_str()), 2u);
  }
}

TEST(FrameIoLarge, FramesAbove4GiBAreAddressedIn64Bits) {
  TempDir dir;
  const std::string path = dir / "large.qvf";
  create(path.c_str(), 2, 0, 720, 240, 29.97f);
  constexpr std::uint32_t kFrame = 6300;  // block starts at 4,354,560,512
  constexpr std::uint64_t kBlock = 691200;
  std::filesystem::resize_file(path, 512 + kFrame * kBlock);  // sparse
  OpenFileRegistry registry;
  ASSERT_EQ(frameCount(registry, path.c_str()), kFrame);
  const platform::PageBuffer frame = patternFrame422(test::kFullFieldBytes, 42);
  ASSERT_TRUE(writeFrame(registry, path.c_str(), FrameLayout::Fields422, test::all(frame)));
  EXPECT_EQ(frameCount(registry, path.c_str()), kFrame + 1);
  EXPECT_EQ(std::filesystem::file_size(path), 512 + (kFrame + 1) * kBlock);

  ASSERT_TRUE(registry.closeByName(path.c_str()));
  EXPECT_TRUE(test::frameMatches(registry, path, kFrame, 42, test::kFullFieldBytes));
  // The frame 4 GiB / block size earlier is still a hole: the position did
  // not wrap to 32 bits.
  const std::uint32_t wrapped = static_cast<std::uint32_t>((512 + kFrame * kBlock) & 0xFFFF'FFFF) / kBlock;
  platform::PageBuffer back(kBlock);
  ASSERT_TRUE(readFrame(registry, path.c_str(), wrapped, FrameLayout::Fields422, test::all(back)));
  EXPECT_TRUE(std::all_of(back.data(), back.data() + back.size(), [](std::uint8_t b) { return b == 0; }));
}

}  // namespace
}  // namespace corvane::qvf
