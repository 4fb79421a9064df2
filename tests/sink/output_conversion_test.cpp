// The three conversions into the board's field-separated output frame, and
// the lowering of peak bytes in frames shown at once.
#include "sink/output_conversion.h"

#include <gtest/gtest.h>

#include <vector>

#include "engine/pixeltools.h"
#include "sink/peak_levels.h"

namespace corvane::sink {
namespace {

constexpr std::uint32_t kLines = 576;
constexpr std::size_t kRow = 720 * 4;

TEST(OutputConversion, Yuv444RowsAlternateBetweenTheFieldsAndPairsShareTheFirstChroma) {
  std::vector<std::uint8_t> source(kRow * kLines, 0);
  const std::uint8_t two[] = {10, 20, 30, 40, 11, 21, 31, 41};
  std::copy(std::begin(two), std::end(two), source.begin());                 // row 0
  std::copy(std::begin(two), std::end(two), source.begin() + 3 * kRow + 8);  // row 3, second pair
  std::vector<std::uint8_t> output(outputFrameBytes(kLines), 0xEE);
  convertToOutput(SourceLayout::Yuv444, source, output, kLines);
  // Row 3 is the second field's second line.
  const std::size_t line = kOutputLineBytes * (kLines / 2 + 1) + 4;
  EXPECT_EQ(std::vector<int>(output.begin() + line, output.begin() + line + 4),
            (std::vector<int>{20, 10, 30, 11}));
  EXPECT_EQ(std::count(output.begin(), output.end(), 0xEE), 0) << "every output byte written";
}

TEST(OutputConversion, RgbaIsBottomUpAndSplitIntoFields) {
  std::vector<std::uint8_t> source(kRow * kLines);
  for (std::uint32_t row = 0; row < kLines; ++row) {
    std::fill_n(source.begin() + row * kRow, kRow, static_cast<std::uint8_t>(row * 37 % 256));
  }
  std::vector<std::uint8_t> output(outputFrameBytes(kLines));
  convertToOutput(SourceLayout::Rgba32, source, output, kLines);
  struct Case {
    std::uint32_t line, row;
  };
  for (const Case& c : {Case{0, 575}, Case{1, 573}, Case{287, 1}, Case{288, 574}, Case{575, 0}}) {
    std::vector<std::uint8_t> expected(kOutputLineBytes);
    encode_bgra_ycbcr8(expected.data(), source.data() + c.row * kRow, 720);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), output.begin() + c.line * kOutputLineBytes))
        << "line " << c.line << " from row " << c.row;
  }
}

// Whole 4:2:2 frames and a 4:4:4 pixel's fourth byte: tests/abi (sink).
TEST(PeakLevels, AGroupBegunWithinTheDataIsLoweredButNothingPastTheBuffer) {
  struct Case {
    std::size_t dataSize, bytesPerGroup, bufferSize;
    std::vector<int> expected;
  };
  const Case cases[] = {
      {5, 4, 12, {254, 254, 254, 254, 254, 254, 254, 254, 255, 255, 255, 255}},  // a group starts at 4
      {100, 4, 6, {254, 254, 254, 254, 255, 255}},
  };
  for (const Case& c : cases) {
    std::vector<std::uint8_t> buffer(c.bufferSize, 255);
    lowerPeakBytes(buffer, c.dataSize, c.bytesPerGroup);
    EXPECT_EQ(std::vector<int>(buffer.begin(), buffer.end()), c.expected)
        << c.dataSize << "/" << c.bytesPerGroup;
  }
}

}  // namespace
}  // namespace corvane::sink
