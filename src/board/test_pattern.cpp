#include "board/test_pattern.h"

#include <array>
#include <cstring>
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

constexpr std::size_t kLineBytes = std::size_t{kPixelsPerLine} * 2;
using Line = std::array<std::uint8_t, kLineBytes>;

template <class ColourAt>
void drawLine(Line& line, ColourAt colourAt) {
  std::uint8_t* byte = line.data();
  for (std::uint32_t x = 0; x < kPixelsPerLine; x += 2) {
    const Colour left = colourAt(x);
    const Colour right = colourAt(x + 1);
    // A pair shares the chroma of its left pixel.
    *byte++ = left.cb;
    *byte++ = left.y;
    *byte++ = left.cr;
    *byte++ = right.y;
  }
}

}  // namespace

void drawTestPatternField(VideoStandard standard, std::uint32_t frame, FieldParity field,
                          std::span<std::uint8_t> out, PatternPart part) {
  if (out.size() != fieldBytes(standard)) throw std::invalid_argument("test pattern: wrong field size");
  const std::uint32_t frameLines = 2 * linesPerField(standard);
  const std::uint32_t parity = static_cast<std::uint32_t>(field);
  const std::uint32_t boxLeft =
      static_cast<std::uint32_t>((std::uint64_t{frame} * 2 + parity) * kBoxStep % kPixelsPerLine);
  // Every line of a band is alike: each band's line is drawn once and copied,
  // which keeps a fast input's field within a few copies of a line.
  std::array<Line, 3> lines{};
  std::array<bool, 3> drawn{};
  std::uint8_t* byte = out.data();
  for (std::uint32_t line = parity; line < frameLines; line += 2, byte += kLineBytes) {
    const std::uint32_t band = line * 6 / frameLines;  // sixths: 0-3 bars, 4 box, 5 number
    if (part == PatternPart::Moving && band < 4) continue;
    const std::size_t kind = band < 4 ? 0 : band - 3;
    if (!drawn[kind]) {
      drawn[kind] = true;
      switch (kind) {
        case 0:
          drawLine(lines[0], [](std::uint32_t x) { return barAt(x); });
          break;
        case 1:
          drawLine(lines[1], [&](std::uint32_t x) { return boxBandAt(x, boxLeft); });
          break;
        default:
          drawLine(lines[2], [&](std::uint32_t x) { return numberAt(x, frame); });
          break;
      }
    }
    std::memcpy(byte, lines[kind].data(), kLineBytes);
  }
}

}  // namespace corvane::board
