// The on-disk layout: the writer's exact header bytes, the arithmetic that
// places chunks and counts frames, and the field-rate fallback.
#include "qvf/container.h"

#include <gtest/gtest.h>

#include <limits>

#include "engine/error.h"
#include "qvf/reader.h"
#include "qvf/registry.h"
#include "qvf/writer.h"
#include "qvf_test_support.h"

namespace corvane::qvf {
namespace {

using test::readFileBytes;
using test::TempDir;

const std::vector<std::uint8_t> kHeader525 = {
    0x46, 0x4d, 0x54, 0x52, 0x01, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x02, 0x00, 0x00,
    0x00, 0x00, 0x8c, 0x0a, 0x00, 0x9d, 0xc2, 0x6f, 0x42, 0x01, 0x00, 0x08, 0x00, 0x00, 0x46,
    0x05, 0x00, 0x24, 0x87, 0x00, 0x00, 0xb4, 0x06, 0x00, 0x00, 0xa0, 0x05, 0x00, 0x00, 0xf0,
    0x00, 0x00, 0x00, 0x01, 0x00, 0x08, 0x00, 0x00, 0x46, 0x05, 0x00, 0x10, 0x6a, 0x07, 0x00,
    0xb4, 0x06, 0x00, 0x00, 0xa0, 0x05, 0x00, 0x00, 0xf0, 0x00, 0x00, 0x00};

const std::vector<std::uint8_t> kHeader625 = {
    0x46, 0x4d, 0x54, 0x52, 0x01, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x02, 0x00, 0x00,
    0x00, 0x00, 0xa8, 0x0c, 0x00, 0x00, 0x00, 0x48, 0x42, 0x01, 0x00, 0x08, 0x00, 0x00, 0x54,
    0x06, 0x00, 0xa0, 0x95, 0x00, 0x00, 0xc0, 0x06, 0x00, 0x00, 0xa0, 0x05, 0x00, 0x00, 0x20,
    0x01, 0x00, 0x00, 0x01, 0x00, 0x08, 0x00, 0x00, 0x54, 0x06, 0x00, 0x60, 0xd6, 0x08, 0x00,
    0xc0, 0x06, 0x00, 0x00, 0xa0, 0x05, 0x00, 0x00, 0x20, 0x01, 0x00, 0x00};

TEST(QvfCreate, WritesTheExact525LineHeader) {
  TempDir dir;
  const std::string path = dir / "ntsc.qvf";
  create(path.c_str(), 2, 0, 720, 240, 29970026.0f / 1000000.0f);
  EXPECT_EQ(readFileBytes(path), kHeader525);
}

TEST(QvfCreate, WritesTheExact625LineHeader) {
  TempDir dir;
  const std::string path = dir / "pal.qvf";
  create(path.c_str(), 2, 0, 720, 288, 25.0f);
  EXPECT_EQ(readFileBytes(path), kHeader625);
}

TEST(QvfCreate, SwitchesTo625LineRasterAt241Lines) {
  TempDir dir;
  const std::string path = dir / "241.qvf";
  create(path.c_str(), 2, 0, 720, 241, 25.0f);
  const std::vector<std::uint8_t> bytes = readFileBytes(path);
  ASSERT_EQ(bytes.size(), 72u);
  const auto first = QvfStreamHeader::decode(std::span<const std::uint8_t, 24>(&bytes[24], 24));
  const auto second = QvfStreamHeader::decode(std::span<const std::uint8_t, 24>(&bytes[48], 24));
  EXPECT_EQ(first.linePitch, 1728u);
  EXPECT_EQ(first.rasterOffset, 38304u);
  EXPECT_EQ(second.rasterOffset, 579168u);
  EXPECT_EQ(first.chunkSize, chunkSizeFor(720, 241));
  EXPECT_EQ(first.chunkSize % 512, 0u);
}

TEST(QvfCreate, ClosesTheEmptyFileBeforeRefusingAudio) {
  TempDir dir;
  const std::string path = dir / "audio.qvf";
  test::writeFileBytes(path, kHeader525);
  try {
    create(path.c_str(), 2, 1, 720, 240, 25.0f);
    FAIL() << "audio streams were accepted";
  } catch (const EngineError& error) {
    EXPECT_STREQ(error.what(), "Currently audio stream writing is not supported.");
  }
  // Created (truncated) and closed: another writer can take it at once.
  EXPECT_TRUE(readFileBytes(path).empty());
  create(path.c_str(), 2, 0, 720, 240, 29970026.0f / 1000000.0f);
  EXPECT_EQ(readFileBytes(path), kHeader525);
}

TEST(QvfCreate, ReportsAPathThatCannotBeOpened) {
  TempDir dir;
  const std::string path = dir / "missing-dir/f.qvf";
  try {
    create(path.c_str(), 2, 0, 720, 240, 25.0f);
    FAIL() << "created a file in a missing directory";
  } catch (const EngineError& error) {
    EXPECT_STREQ(error.what(), "Cannot open file for output.");
  }
}

TEST(QvfContainer, HeadersSurviveEncodeAndDecode) {
  QvfFileHeader header;
  header.dataOffset = 0x1234'5600;
  header.streamCount = 0x8000'0001;
  header.frameBlockSize = 0xFFFF'FE00;
  header.fieldRate = 50.0f;
  const auto bytes = header.encode();
  EXPECT_EQ(bytes[QvfFileHeader::kFieldRateOffset + 3], 0x42);  // 50.0f is 0x42480000
  const QvfFileHeader back = QvfFileHeader::decode(bytes);
  EXPECT_EQ(back.dataOffset, header.dataOffset);
  EXPECT_EQ(back.streamCount, header.streamCount);
  EXPECT_EQ(back.frameBlockSize, header.frameBlockSize);
  EXPECT_EQ(back.fieldRate, 50.0f);

  QvfStreamHeader stream;
  stream.streamType = -3;
  stream.subtype = 0xBEEF;
  stream.lines = 0xA1B2C3D4;
  const QvfStreamHeader streamBack = QvfStreamHeader::decode(stream.encode());
  EXPECT_EQ(streamBack.streamType, -3);
  EXPECT_EQ(streamBack.subtype, 0xBEEF);
  EXPECT_EQ(streamBack.lines, 0xA1B2C3D4u);
}

TEST(QvfContainer, ChunkSizeRoundsUpToWholeSectors) {
  EXPECT_EQ(chunkSizeFor(720, 240), 345600u);
  EXPECT_EQ(chunkSizeFor(720, 288), 414720u);
  EXPECT_EQ(chunkSizeFor(16, 2), 512u);  // 64 bytes of field
  EXPECT_EQ(chunkSizeFor(257, 1), 1024u);
  EXPECT_EQ(chunkSizeFor(0, 240), 0u);
}

TEST(QvfContainer, ChunkPositionsAreSixtyFourBit) {
  // Frame 6300 of a 525-line file lies above 4 GiB.
  EXPECT_EQ(chunkPosition(512, 691200, 6300), 512ull + 6300ull * 691200ull);
  EXPECT_GT(chunkPosition(512, 691200, 6300), 0x1'0000'0000ull);
  EXPECT_EQ(chunkPosition(0xFFFF'FFFF, 0xFFFF'FFFF, 0xFFFF'FFFF),
            0xFFFF'FFFFull * 0xFFFF'FFFFull + 0xFFFF'FFFFull);
}

TEST(QvfContainer, FrameCountIsWholeFrameBlocks) {
  EXPECT_EQ(frameCountFor(72, 512, 691200), 0u);  // headers only
  EXPECT_EQ(frameCountFor(512, 512, 691200), 0u);
  EXPECT_EQ(frameCountFor(512 + 691200, 512, 691200), 1u);
  EXPECT_EQ(frameCountFor(512 + 691200 + 345600, 512, 691200), 1u);  // half a block more
  EXPECT_EQ(frameCountFor(512 + 2 * 691200 - 1, 512, 691200), 1u);
  EXPECT_EQ(frameCountFor(512 + 6301ull * 691200, 512, 691200), 6301u);  // above 4 GiB
  EXPECT_EQ(frameCountFor(1 << 20, 512, 0), 0u);                         // no division by zero
}

TEST(QvfContainer, FieldRateFallsBackOnTheLinePitch) {
  QvfFileHeader header;
  header.fieldRate = 0.0f;
  QvfStreamHeader video;
  video.streamType = static_cast<std::int16_t>(StreamType::Video);
  video.linePitch = 1728;
  QvfStreamHeader other = video;
  other.streamType = 7;
  other.linePitch = 1716;
  EXPECT_EQ(fieldRateOf(header, std::vector{other, video}), 50.0f);  // the skipped stream does not count
  video.linePitch = 1716;
  EXPECT_FLOAT_EQ(fieldRateOf(header, std::vector{video}), 59.94f);
  video.linePitch = 1000;
  EXPECT_FLOAT_EQ(fieldRateOf(header, std::vector{video}), 59.94f);
  header.fieldRate = 48.0f;
  EXPECT_EQ(fieldRateOf(header, std::vector{video}), 48.0f);
}

TEST(QvfCreate, FirstFrameMakesTheFileOneFrameLong) {
  TempDir dir;
  const std::string path = dir / "one.qvf";
  create(path.c_str(), 2, 0, 720, 240, 29970026.0f / 1000000.0f);
  OpenFileRegistry registry;
  EXPECT_EQ(frameCount(registry, path.c_str()), 0u);
  const platform::PageBuffer frame = test::patternFrame422(720 * 240 * 2, 1);
  ASSERT_TRUE(writeFrame422(registry, path.c_str(), frame.data()));
  EXPECT_EQ(frameCount(registry, path.c_str()), 1u);
  ASSERT_TRUE(registry.closeByName(path.c_str()));
  const std::vector<std::uint8_t> bytes = readFileBytes(path);
  ASSERT_EQ(bytes.size(), 512u + 691200u);
  EXPECT_TRUE(std::equal(kHeader525.begin(), kHeader525.end(), bytes.begin()));
  EXPECT_TRUE(std::all_of(bytes.begin() + 72, bytes.begin() + 512, [](std::uint8_t b) { return b == 0; }));
  EXPECT_TRUE(std::equal(bytes.begin() + 512, bytes.end(), frame.data()));
}

}  // namespace
}  // namespace corvane::qvf
