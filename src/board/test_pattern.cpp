#include "board/test_pattern.h"

#include <array>
#include <stdexcept>

namespace corvane::board {
namespace {

struct Colour {
  std::uint8_t y, cb, cr;
};

constexpr Colour kBlack{16, 128, 128};
constexpr Colour kWhite{235, 128, 128};
// 75% bars, BT.601: white, yellow, cyan, green, magenta, red, blue.
constexpr std::array<Colour, 7> kBars{{{180, 128, 128},
                                       {162, 44, 142},
                                       {131, 156, 44},
                                       {112, 72, 58},
                                       {84, 184, 198},
                                       {65, 100, 212},
                                       {35, 212, 114}}};

constexpr std::uint32_t kBoxWidth = 64;
constexpr std::uint32_t kBoxStep = 4;  // pixels a field
constexpr std::uint32_t kBitWidth = 22;
constexpr std::uint32_t kBitsLeft = (kPixelsPerLine - 32 * kBitWidth) / 2;

Colour barAt(std::uint32_t x) { return kBars[x * kBars.size() / kPixelsPerLine]; }

// The box's left edge moves on every field, wrapping round the line.
Colour boxBandAt(std::uint32_t x, std::uint32_t boxLeft) {
  return (x + kPixelsPerLine - boxLeft) % kPixelsPerLine < kBoxWidth ? kWhite : kBlack;
}

Colour numberAt(std::uint32_t x, std::uint32_t frame) {
  if (x < kBitsLeft || x >= kBitsLeft + 32 * kBitWidth) return kBlack;
  const std::uint32_t bit = 31 - (x - kBitsLeft) / kBitWidth;  // most significant first
  return (frame >> bit) & 1 ? kWhite : kBlack;
}

}  // namespace

void drawTestPatternField(VideoStandard standard, std::uint32_t frame, FieldParity field,
                          std::span<std::uint8_t> out, PatternPart part) {
  if (out.size() != fieldBytes(standard)) throw std::invalid_argument("test pattern: wrong field size");
  const std::uint32_t frameLines = 2 * linesPerField(standard);
  const std::uint32_t parity = static_cast<std::uint32_t>(field);
  const std::uint32_t boxLeft =
      static_cast<std::uint32_t>((std::uint64_t{frame} * 2 + parity) * kBoxStep % kPixelsPerLine);
  std::uint8_t* byte = out.data();
  for (std::uint32_t line = parity; line < frameLines; line += 2) {
    const std::uint32_t band = line * 6 / frameLines;  // sixths: 0-3 bars, 4 box, 5 number
    if (part == PatternPart::Moving && band < 4) {
      byte += kPixelsPerLine * 2;
      continue;
    }
    for (std::uint32_t x = 0; x < kPixelsPerLine; x += 2) {
      auto colourAt = [&](std::uint32_t px) {
        return band < 4 ? barAt(px) : band == 4 ? boxBandAt(px, boxLeft) : numberAt(px, frame);
      };
      const Colour left = colourAt(x);
      const Colour right = colourAt(x + 1);
      // A pair shares the chroma of its left pixel.
      *byte++ = left.cb;
      *byte++ = left.y;
      *byte++ = left.cr;
      *byte++ = right.y;
    }
  }
}

}  // namespace corvane::board
