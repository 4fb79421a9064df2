#include "board/test_pattern.h"

#include <gtest/gtest.h>

#include <stdexcept>
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

}  // namespace
}  // namespace corvane::board
