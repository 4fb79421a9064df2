#include "board/test_pattern.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>
#include <vector>

namespace corvane::board {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes field(VideoStandard standard, std::uint32_t frame, FieldParity parity) {
  Bytes bytes(fieldBytes(standard));
  drawTestPatternField(standard, frame, parity, bytes);
  return bytes;
}

// Lines (of 1440 bytes) on which two fields differ.
std::size_t linesThatDiffer(const Bytes& a, const Bytes& b) {
  std::size_t count = 0;
  for (std::size_t line = 0; line < a.size(); line += 2 * kPixelsPerLine) {
    if (!std::equal(a.begin() + line, a.begin() + line + 2 * kPixelsPerLine, b.begin() + line)) ++count;
  }
  return count;
}

TEST(TestPattern, LegalMovingTheSameForTheSameFrameAndOnlyForItsOwnSize) {
  for (VideoStandard standard : {VideoStandard::Ntsc, VideoStandard::Pal}) {
    const std::uint32_t lines = linesPerField(standard);
    Bytes previous = field(standard, 0xffffffff, FieldParity::Second);
    for (std::uint32_t frame : {0u, 1u, 2u, 89u, 90u, 179u, 180u, 0x7fffffffu}) {
      for (FieldParity parity : {FieldParity::First, FieldParity::Second}) {
        const Bytes bytes = field(standard, frame, parity);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
          const bool luma = i % 2 == 1;
          ASSERT_GE(bytes[i], 16) << "byte " << i;
          ASSERT_LE(bytes[i], luma ? 235 : 240) << "byte " << i;
        }
        EXPECT_EQ(bytes, field(standard, frame, parity));
        // The box moves on every field, the second field of a frame too, where
        // nothing else changes.
        EXPECT_GE(linesThatDiffer(bytes, previous), lines / 6) << frame;
        previous = bytes;
      }
    }
  }
  Bytes ntscSized(fieldBytes(VideoStandard::Ntsc));
  EXPECT_THROW(drawTestPatternField(VideoStandard::Pal, 0, FieldParity::First, ntscSized),
               std::invalid_argument);
}

// Luma of pixel x on line `line` of a field.
std::uint8_t lumaAt(const Bytes& field, std::uint32_t line, std::uint32_t x) {
  return field[std::size_t{line} * 2 * kPixelsPerLine + 2 * x + 1];
}

// The sixth of the frame a field line lies in (0-3 bars, 4 box, 5 number).
std::uint32_t bandOf(VideoStandard standard, std::uint32_t line, FieldParity parity) {
  return (2 * line + static_cast<std::uint32_t>(parity)) * 6 / (2 * linesPerField(standard));
}

// The box's left edge and width on one line: the white run, read round the
// line's wrap.
std::pair<std::uint32_t, std::uint32_t> boxOn(const Bytes& field, std::uint32_t line) {
  std::uint32_t left = kPixelsPerLine, width = 0;
  for (std::uint32_t x = 0; x < kPixelsPerLine; ++x) {
    const bool white = lumaAt(field, line, x) == 235;
    const bool whiteBefore = lumaAt(field, line, (x + kPixelsPerLine - 1) % kPixelsPerLine) == 235;
    if (white && !whiteBefore) left = x;
    width += white ? 1 : 0;
  }
  return {left, width};
}

// The frame number the bottom band's 32 blocks spell on one line.
std::uint32_t numberOn(const Bytes& field, std::uint32_t line) {
  constexpr std::uint32_t kBlock = 22, kFirst = (kPixelsPerLine - 32 * kBlock) / 2;
  std::uint32_t number = 0;
  for (std::uint32_t bit = 0; bit < 32; ++bit) {
    number = number << 1 | (lumaAt(field, line, kFirst + bit * kBlock + kBlock / 2) == 235 ? 1 : 0);
  }
  return number;
}

// The input redraws only the changing bands over its previous field of the
// same parity; every line of each band must come out as a whole drawing has
// it, the box moving 4 pixels a field and the number spelling the frame.
TEST(TestPattern, EveryLineOfEachBandShowsTheFieldsBoxAndNumberAndMovingDrawsMatchWholeOnes) {
  for (VideoStandard standard : {VideoStandard::Ntsc, VideoStandard::Pal}) {
    const std::uint32_t lines = linesPerField(standard);
    for (std::uint32_t frame : {0u, 1u, 90u, 179u, 180u, 0xA5A5A5A5u, 0xffffffffu}) {
      for (FieldParity parity : {FieldParity::First, FieldParity::Second}) {
        const Bytes whole = field(standard, frame, parity);
        Bytes moving = field(standard, frame ^ 0x5555, parity);
        drawTestPatternField(standard, frame, parity, moving, PatternPart::Moving);
        ASSERT_EQ(moving, whole) << frame;

        // Fields since frame 0, past 32 bits: the box does not jump where the count wraps.
        const std::uint64_t fieldIndex = 2 * std::uint64_t{frame} + static_cast<std::uint32_t>(parity);
        const auto wantLeft = static_cast<std::uint32_t>(fieldIndex * 4 % kPixelsPerLine);
        const std::size_t barsLine = 0;
        std::size_t boxLines = 0, numberLines = 0;
        for (std::uint32_t line = 0; line < lines; ++line) {
          switch (bandOf(standard, line, parity)) {
            case 4: {
              const auto [left, width] = boxOn(whole, line);
              ASSERT_EQ(left, wantLeft) << "frame " << frame << " line " << line;
              ASSERT_EQ(width, 64u) << "frame " << frame << " line " << line;
              ++boxLines;
              break;
            }
            case 5:
              ASSERT_EQ(numberOn(whole, line), frame) << "line " << line;
              ++numberLines;
              break;
            default:
              ASSERT_TRUE(std::equal(whole.begin() + line * 2 * kPixelsPerLine,
                                     whole.begin() + (line + 1) * 2 * kPixelsPerLine,
                                     whole.begin() + barsLine))
                  << "bars differ on line " << line;
          }
        }
        EXPECT_EQ(boxLines, lines / 6);
        EXPECT_EQ(numberLines, lines / 6);
      }
    }
  }
}

}  // namespace
}  // namespace corvane::board
