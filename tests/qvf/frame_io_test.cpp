// Frames through the registry: what the writer puts where, what the readers
// give back in each layout, the one-seek rule, the position cache, and files
// larger than 4 GiB.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine/pixeltools.h"
#include "qvf/field_conversions.h"
#include "qvf/reader.h"
#include "qvf/registry.h"
#include "qvf/writer.h"
#include "qvf_test_support.h"

namespace corvane::qvf {
namespace {

using test::kSmallFieldBytes;
using test::kSmallLines;
using test::kSmallWidth;
using test::patternFrame422;
using test::readFileBytes;
using test::TempDir;

constexpr std::uint32_t kFrameBytes4 = kSmallWidth * kSmallLines * 2 * 4;
constexpr std::uint32_t kRowBytes4 = kSmallWidth * 4;

std::uint64_t seeksOf(OpenFileRegistry& registry, const std::string& path) {
  return registry.access(path.c_str())->stream->file.seekCount();
}

class FrameIo : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_ / "clip.qvf";
    test::createSmall(path_);
  }
  const char* path() const { return path_.c_str(); }
  // Writes count frames of pattern seeds 0, 1, ... and returns them.
  std::vector<platform::PageBuffer> writeFrames(std::uint32_t count) {
    std::vector<platform::PageBuffer> frames;
    for (std::uint32_t i = 0; i < count; ++i) {
      frames.push_back(patternFrame422(kSmallFieldBytes, i));
      EXPECT_TRUE(writeFrame422(registry_, path(), frames.back().data()));
    }
    return frames;
  }

  TempDir dir_;
  std::string path_;
  OpenFileRegistry registry_;
};

TEST_F(FrameIo, FramesReadBackAsWrittenAndCountGrows) {
  const auto frames = writeFrames(3);
  EXPECT_EQ(frameCount(registry_, path()), 3u);
  const auto geometry = frameGeometry(registry_, path());
  ASSERT_TRUE(geometry);
  EXPECT_EQ(geometry->width, 16u);
  EXPECT_EQ(geometry->linesPerField, 16u);
  platform::PageBuffer buffer(kSmallFieldBytes * 2);
  for (std::uint32_t n = 0; n < 3; ++n) {
    ASSERT_TRUE(readFrame422(registry_, path(), n, buffer.data()));
    EXPECT_TRUE(std::equal(frames[n].bytes().begin(), frames[n].bytes().end(), buffer.data())) << n;
  }
  EXPECT_FALSE(readFrame422(registry_, path(), 3, buffer.data())) << "frame number equal to the count";
  EXPECT_FALSE(readFrame444(registry_, path(), 3, buffer.data()));
}

TEST_F(FrameIo, ReadingAFrameSeeksAtMostOnceAndConsecutiveFramesNotAgain) {
  writeFrames(3);
  ASSERT_TRUE(registry_.closeByName(path()));
  platform::PageBuffer buffer(kSmallFieldBytes * 2);
  ASSERT_TRUE(readFrame422(registry_, path(), 1, buffer.data()));
  EXPECT_EQ(seeksOf(registry_, path_), 1u);
  ASSERT_TRUE(readFrame422(registry_, path(), 2, buffer.data()));
  EXPECT_EQ(seeksOf(registry_, path_), 1u) << "frame 2 starts where frame 1 ended";
  ASSERT_TRUE(readFrame444(registry_, path(), 0, buffer.data()));
  ASSERT_TRUE(readFrame444(registry_, path(), 0, buffer.data()));
  EXPECT_EQ(seeksOf(registry_, path_), 3u);
}

TEST_F(FrameIo, ReadBeyondTheEndFailsAndAdvancesTheCacheByWhatWasRead) {
  writeFrames(1);
  // Half a frame block more: field 0 of frame 1 is whole, field 1 is missing.
  {
    auto entry = registry_.access(path());
    QvfStream& stream = *entry->stream;
    const platform::PageBuffer half = patternFrame422(kSmallFieldBytes / 2, 7);
    ASSERT_TRUE(stream.writeField(2, 0, half.data()));
    EXPECT_EQ(stream.frameCount(), 1u);
    platform::PageBuffer field(kSmallFieldBytes);
    EXPECT_FALSE(stream.readField(3, 0, field.data()));
    EXPECT_EQ(stream.file.cachedPosition(), 512u + 3 * kSmallFieldBytes) << "nothing read past the end";
    ASSERT_NE(stream.readFieldIntoContext(2, 0), nullptr);
    EXPECT_EQ(stream.file.cachedPosition(), 512u + 3 * kSmallFieldBytes);
  }
  platform::PageBuffer buffer(kSmallFieldBytes * 2);
  EXPECT_FALSE(readFrame422(registry_, path(), 1, buffer.data()));
  EXPECT_TRUE(std::equal(buffer.data(), buffer.data() + kSmallFieldBytes,
                         patternFrame422(kSmallFieldBytes / 2, 7).data()))
      << "the first field is delivered even though the second fails";
}

TEST_F(FrameIo, FailedSeekNeverLetsTheNextTransferSkipItsSeek) {
  writeFrames(1);
  auto entry = registry_.access(path());
  StreamingFile& file = entry->stream->file;
  const std::uint64_t unreachable = 0x8000'0000'0000'0000ull;
  const std::uint64_t before = file.seekCount();
  EXPECT_FALSE(file.seekTo(unreachable));
  EXPECT_FALSE(file.seekTo(unreachable));
  EXPECT_EQ(file.seekCount(), before + 2) << "the second attempt went to the system again";
  EXPECT_EQ(file.cachedPosition(), kInvalidPosition);
  EXPECT_TRUE(file.seekTo(512));
  EXPECT_TRUE(file.seekTo(512));
  EXPECT_EQ(file.seekCount(), before + 3);
}

TEST_F(FrameIo, UnpositionedWriteForcesTheNextPositionedTransferToSeek) {
  writeFrames(1);  // leaves the pointer at frame block 1
  const platform::PageBuffer raw = patternFrame422(kSmallFieldBytes, 11);
  ASSERT_TRUE(appendFrameRaw(registry_, path(), raw.data()));
  auto entry = registry_.access(path());
  StreamingFile& file = entry->stream->file;
  EXPECT_EQ(file.seekCount(), 1u) << "the append followed the previous frame without a seek";
  EXPECT_EQ(file.cachedPosition(), kInvalidPosition);
  // Field 4 starts exactly where the append ended; it must still seek.
  platform::PageBuffer field(kSmallFieldBytes);
  EXPECT_FALSE(entry->stream->readField(4, 0, field.data()));  // past the end
  EXPECT_EQ(file.seekCount(), 2u);
  EXPECT_EQ(file.cachedPosition(), 512u + 4 * kSmallFieldBytes);
}

TEST_F(FrameIo, ReadOrdersOfThe444AndBgraLayouts) {
  const auto frames = writeFrames(1);
  const std::uint8_t* field0 = frames[0].data();
  const std::uint8_t* field1 = frames[0].data() + kSmallFieldBytes;

  std::vector<std::uint8_t> yuva(kFrameBytes4);
  ASSERT_TRUE(readFrame444(registry_, path(), 0, yuva.data()));
  for (std::uint32_t row = 0; row < 2 * kSmallLines; ++row) {
    const std::uint8_t* field = (row % 2 == 0 ? field0 : field1) + (row / 2) * kSmallWidth * 2;
    for (std::uint32_t x = 0; x < kSmallWidth; ++x) {
      const std::uint8_t* pixel = &yuva[row * kRowBytes4 + x * 4];
      const std::uint8_t* macro = field + (x / 2) * 4;
      ASSERT_EQ(pixel[0], macro[x % 2 == 0 ? 1 : 3]) << row << "," << x;
      ASSERT_EQ(pixel[1], macro[0]);
      ASSERT_EQ(pixel[2], macro[2]);
      ASSERT_EQ(pixel[3], 255);
    }
  }

  std::vector<std::uint8_t> bgra(kFrameBytes4);
  ASSERT_TRUE(readFrameBgra(registry_, path(), 0, bgra.data()));
  std::vector<std::uint8_t> row(kRowBytes4);
  for (std::uint32_t display = 0; display < 2 * kSmallLines; ++display) {
    const std::uint8_t* field = (display % 2 == 0 ? field0 : field1) + (display / 2) * kSmallWidth * 2;
    decode_ycbcr8_bgra(row.data(), field, kSmallWidth);
    const std::uint32_t memoryRow = 2 * kSmallLines - 1 - display;
    ASSERT_TRUE(std::equal(row.begin(), row.end(), bgra.begin() + memoryRow * kRowBytes4)) << display;
  }
}

TEST_F(FrameIo, A444FrameWrittenBackGivesTheSameFileBytes) {
  writeFrames(2);
  std::vector<std::uint8_t> yuva(kFrameBytes4);
  for (std::uint32_t n = 0; n < 2; ++n) {
    ASSERT_TRUE(readFrame444(registry_, path(), n, yuva.data()));
    ASSERT_TRUE(writeFrame444(registry_, path(), yuva.data()));
  }
  ASSERT_TRUE(registry_.closeByName(path()));
  const auto bytes = readFileBytes(path_);
  const std::size_t block = 2 * kSmallFieldBytes;
  ASSERT_EQ(bytes.size(), 512 + 4 * block);
  for (std::size_t n = 0; n < 2; ++n)
    EXPECT_TRUE(std::equal(bytes.begin() + 512 + n * block, bytes.begin() + 512 + (n + 1) * block,
                           bytes.begin() + 512 + (n + 2) * block))
        << n;
}

TEST_F(FrameIo, BgraFramesAreEncodedRowByRowFromTheBottom) {
  std::vector<std::uint8_t> bgra(kFrameBytes4);
  for (std::size_t i = 0; i < bgra.size(); ++i) bgra[i] = static_cast<std::uint8_t>(i * 13 + i / 64);
  ASSERT_TRUE(writeFrameBgra(registry_, path(), bgra.data()));
  platform::PageBuffer frame(kSmallFieldBytes * 2);
  ASSERT_TRUE(readFrame422(registry_, path(), 0, frame.data()));
  std::vector<std::uint8_t> expected(kSmallWidth * 2);
  for (std::uint32_t display = 0; display < 2 * kSmallLines; ++display) {
    const std::uint32_t memoryRow = 2 * kSmallLines - 1 - display;
    encode_bgra_ycbcr8(expected.data(), bgra.data() + memoryRow * kRowBytes4, kSmallWidth);
    const std::uint8_t* stored =
        frame.data() + (display % 2) * kSmallFieldBytes + (display / 2) * kSmallWidth * 2;
    ASSERT_TRUE(std::equal(expected.begin(), expected.end(), stored)) << display;
  }
}

TEST_F(FrameIo, WritingAfterAReopenContinuesAfterTheLastWholeFrame) {
  const auto frames = writeFrames(10);
  ASSERT_TRUE(registry_.closeByName(path()));
  const std::vector<std::uint8_t> grey(kFrameBytes4, 100);
  ASSERT_TRUE(writeFrame444(registry_, path(), grey.data()));
  EXPECT_EQ(frameCount(registry_, path()), 11u);
  std::vector<std::uint8_t> back(kFrameBytes4);
  ASSERT_TRUE(readFrame444(registry_, path(), 10, back.data()));
  for (std::size_t i = 0; i < back.size(); ++i) ASSERT_EQ(back[i], i % 4 == 3 ? 255 : 100) << i;
  platform::PageBuffer last(kSmallFieldBytes * 2);
  ASSERT_TRUE(readFrame422(registry_, path(), 9, last.data()));
  EXPECT_TRUE(std::equal(frames[9].bytes().begin(), frames[9].bytes().end(), last.data()));
}

TEST_F(FrameIo, UnaddressableFramesFailAndStillAdvanceTheCounter) {
  writeFrames(1);
  const platform::PageBuffer frame = patternFrame422(kSmallFieldBytes, 3);
  registry_.access(path())->frameCounter = 0x8000'0000;  // past any addressable frame
  EXPECT_FALSE(writeFrame422(registry_, path(), frame.data()));
  EXPECT_FALSE(writeFrame444(registry_, path(), frame.data()));
  EXPECT_EQ(registry_.access(path())->frameCounter, 0x8000'0002u);
}

TEST_F(FrameIo, ReadOnlyFileReadsButRefusesEveryWrite) {
  const auto frames = writeFrames(2);
  ASSERT_TRUE(registry_.closeByName(path()));
  test::ReadOnlyFile readOnly(path_);
  if (readOnly.writable()) GTEST_SKIP() << "cannot make a read-only file here";
  platform::PageBuffer buffer(kSmallFieldBytes * 2);
  ASSERT_TRUE(readFrame422(registry_, path(), 1, buffer.data()));
  EXPECT_TRUE(std::equal(frames[1].bytes().begin(), frames[1].bytes().end(), buffer.data()));
  EXPECT_EQ(registry_.access(path())->stream->file.openAttempt(),
            platform::StreamOpenAttempt::ReadOnlyUnbuffered);
  std::vector<std::uint8_t> yuva(kFrameBytes4, 50);
  // Frame 2's first field starts where the read of frame 1 left the pointer,
  // so it needs no seek; it fails, and the second field, which would need
  // one, is never tried.
  const std::uint64_t seeks = seeksOf(registry_, path_);
  EXPECT_FALSE(writeFrame422(registry_, path(), frames[0].data()));
  EXPECT_EQ(seeksOf(registry_, path_), seeks);
  EXPECT_FALSE(writeFrame444(registry_, path(), yuva.data()));
  EXPECT_FALSE(writeFrameBgra(registry_, path(), yuva.data()));
  EXPECT_FALSE(appendFrameRaw(registry_, path(), frames[0].data()));
  EXPECT_EQ(registry_.access(path())->frameCounter, 6u);
  EXPECT_EQ(frameCount(registry_, path()), 2u);
}

TEST(FrameIoLarge, FullSizeConversionsMatchTheRowByRowDefinition) {
  // At 720 x 240 the next frame is read ahead on the helper thread.
  TempDir dir;
  const std::string path = dir / "full.qvf";
  create(path.c_str(), 2, 0, 720, 240, 29.97f);
  OpenFileRegistry registry;
  constexpr std::uint32_t kField = 345600;
  std::vector<platform::PageBuffer> frames;
  for (std::uint32_t n = 0; n < 3; ++n) {
    frames.push_back(patternFrame422(kField, 70 + n));
    ASSERT_TRUE(writeFrame422(registry, path.c_str(), frames.back().data()));
  }
  const FieldGeometry geometry{720, 240};
  std::vector<std::uint8_t> got(720 * 480 * 4), want(720 * 480 * 4);
  for (std::uint32_t n : {2u, 0u, 1u}) {
    ASSERT_TRUE(readFrameBgra(registry, path.c_str(), n, got.data()));
    fieldsToBgra(frames[n].data(), frames[n].data() + kField, want.data(), geometry);
    EXPECT_EQ(got, want) << n;
    ASSERT_TRUE(readFrame444(registry, path.c_str(), n, got.data()));
    fieldsTo444(frames[n].data(), frames[n].data() + kField, want.data(), geometry);
    EXPECT_EQ(got, want) << n;
  }
  EXPECT_FALSE(readFrameBgra(registry, path.c_str(), 3, got.data()));
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
  const platform::PageBuffer frame = patternFrame422(345600, 42);
  ASSERT_TRUE(writeFrame422(registry, path.c_str(), frame.data()));
  EXPECT_EQ(frameCount(registry, path.c_str()), kFrame + 1);
  EXPECT_EQ(std::filesystem::file_size(path), 512 + (kFrame + 1) * kBlock);

  ASSERT_TRUE(registry.closeByName(path.c_str()));
  platform::PageBuffer back(2 * 345600);
  ASSERT_TRUE(readFrame422(registry, path.c_str(), kFrame, back.data()));
  EXPECT_TRUE(std::equal(frame.bytes().begin(), frame.bytes().end(), back.data()));
  // The frame 4 GiB / block size earlier is still a hole: the position did
  // not wrap to 32 bits.
  const std::uint32_t wrapped = static_cast<std::uint32_t>((512 + kFrame * kBlock) & 0xFFFF'FFFF) / kBlock;
  ASSERT_TRUE(readFrame422(registry, path.c_str(), wrapped, back.data()));
  EXPECT_TRUE(std::all_of(back.data(), back.data() + back.size(), [](std::uint8_t b) { return b == 0; }));
}

}  // namespace
}  // namespace corvane::qvf
