// The on-disk layout: the writer's exact header bytes, the arithmetic that
// places chunks and counts frames, and the field-rate fallback.
#include "qvf/container.h"

#include <gtest/gtest.h>

#include "qvf_test_support.h"

namespace corvane::qvf {
namespace {

using test::errorOf;
using test::readFileBytes;
using test::TempDir;

std::vector<std::uint8_t> fromHex(const std::string& hex) {
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

// One file header and two 4:2:2 stream headers, as the writer must lay them out.
const std::vector<std::uint8_t> kHeader525 = fromHex(
    "464d5452010000000002000002000000008c0a009dc26f42"
    "010008000046050024870000b4060000a0050000f0000000"
    "0100080000460500106a0700b4060000a0050000f0000000");
const std::vector<std::uint8_t> kHeader625 = fromHex(
    "464d545201000000000200000200000000a80c0000004842"
    "0100080000540600a0950000c0060000a005000020010000"
    "010008000054060060d60800c0060000a005000020010000");

TEST(QvfCreate, WritesTheExactHeadersThenWholeFrames) {
  TempDir dir;
  const std::string path = dir / "f.qvf";
  create(path.c_str(), 2, 0, 720, 288, 25.0f);
  EXPECT_EQ(readFileBytes(path), kHeader625);

  // 241 lines no longer fit the 525-line raster.
  create(path.c_str(), 2, 0, 720, 241, 25.0f);
  std::vector<std::uint8_t> bytes = readFileBytes(path);
  ASSERT_EQ(bytes.size(), 72u);
  const auto first = QvfStreamHeader::decode(std::span<const std::uint8_t, 24>(&bytes[24], 24));
  const auto second = QvfStreamHeader::decode(std::span<const std::uint8_t, 24>(&bytes[48], 24));
  EXPECT_EQ(first.linePitch, 1728u);
  EXPECT_EQ(first.rasterOffset, 38304u);
  EXPECT_EQ(second.rasterOffset, 579168u);
  EXPECT_EQ(first.chunkSize, 347136u);  // 720 x 241 x 2 rounded up to whole sectors

  EXPECT_EQ(errorOf([&] { create(path.c_str(), 2, 1, 720, 240, 25.0f); }),
            "Currently audio stream writing is not supported.");
  // Created (truncated) and closed: another writer can take it at once.
  EXPECT_TRUE(readFileBytes(path).empty());
  EXPECT_EQ(errorOf([&] { create((dir / "missing/f.qvf").c_str(), 2, 0, 720, 240, 25.0f); }),
            "Cannot open file for output.");

  create(path.c_str(), 2, 0, 720, 240, 29970026.0f / 1000000.0f);
  EXPECT_EQ(readFileBytes(path), kHeader525);
  OpenFileRegistry registry;
  EXPECT_EQ(frameCount(registry, path.c_str()), 0u);
  const auto frames = test::writeFrames(registry, path, 1, 1, test::kFullFieldBytes);
  EXPECT_EQ(frameCount(registry, path.c_str()), 1u);
  ASSERT_TRUE(registry.closeByName(path.c_str()));
  bytes = readFileBytes(path);
  ASSERT_EQ(bytes.size(), 512u + 691200u);
  EXPECT_TRUE(std::equal(kHeader525.begin(), kHeader525.end(), bytes.begin()));
  EXPECT_TRUE(std::all_of(bytes.begin() + 72, bytes.begin() + 512, [](std::uint8_t b) { return b == 0; }));
  EXPECT_TRUE(test::sameBytes(frames[0], &bytes[512]));
}

TEST(QvfContainer, ChunkArithmetic) {
  EXPECT_EQ(chunkSizeFor(257, 1), 1024u);  // rounds up to whole sectors
  EXPECT_EQ(chunkSizeFor(0, 240), 0u);
  EXPECT_EQ(frameCountFor(512, 512, 691200), 0u);
  EXPECT_EQ(frameCountFor(512 + 2 * 691200 - 1, 512, 691200), 1u);  // only whole blocks count
  EXPECT_EQ(frameCountFor(1 << 20, 512, 0), 0u);                    // no division by zero
}

TEST(QvfContainer, FieldRateFallsBackOnTheLinePitch) {
  QvfFileHeader header;
  header.fieldRate = 0.0f;
  QvfStreamHeader video = test::smallStream();
  QvfStreamHeader skipped = test::smallStream(7);
  video.linePitch = 1728;
  EXPECT_EQ(fieldRateOf(header, std::vector{skipped, video}), 50.0f);  // the skipped stream does not count
  video.linePitch = 1000;
  EXPECT_FLOAT_EQ(fieldRateOf(header, std::vector{video}), 59.94f);
  header.fieldRate = 48.0f;
  EXPECT_EQ(fieldRateOf(header, std::vector{video}), 48.0f);
}

}  // namespace
}  // namespace corvane::qvf
