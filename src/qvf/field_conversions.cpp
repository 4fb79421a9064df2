#include "qvf/field_conversions.h"

#include <cstddef>

#include "engine/pixeltools.h"

namespace corvane::qvf {
namespace {

constexpr std::uint8_t kOpaque = 255;

std::size_t fieldRowBytes(FieldGeometry g) { return std::size_t{g.width} * 2; }
std::size_t frameRowBytes(FieldGeometry g) { return std::size_t{g.width} * 4; }

// One field row of (Cb Y0 Cr Y1) macropixels to 2 x (Y Cb Cr A) pixels each.
void expandRow(const std::uint8_t* from, std::uint8_t* to, std::uint32_t pairs) {
  for (std::uint32_t p = 0; p < pairs; ++p, from += 4, to += 8) {
    const std::uint8_t cb = from[0], y0 = from[1], cr = from[2], y1 = from[3];
    to[0] = y0, to[1] = cb, to[2] = cr, to[3] = kOpaque;
    to[4] = y1, to[5] = cb, to[6] = cr, to[7] = kOpaque;
  }
}

// The reverse, consuming pairs x 8 bytes of the source; returns where it ends.
const std::uint8_t* packRow(const std::uint8_t* from, std::uint8_t* to, std::uint32_t pairs) {
  for (std::uint32_t p = 0; p < pairs; ++p, from += 8, to += 4) {
    to[0] = from[1];  // Cb of the first pixel
    to[1] = from[0];  // Y of the first pixel
    to[2] = from[2];  // Cr of the first pixel
    to[3] = from[4];  // Y of the second pixel
  }
  return from;
}

}  // namespace

void fieldRowsToFrame(FrameLayout layout, const std::uint8_t* field, std::uint32_t parity,
                      std::uint8_t* destination, FieldGeometry g, std::uint32_t firstRow,
                      std::uint32_t endRow) {
  const std::size_t height = 2 * std::size_t{g.lines};
  for (std::uint32_t i = firstRow; i < endRow; ++i) {
    const std::size_t displayRow = 2 * std::size_t{i} + parity;
    const std::uint8_t* from = field + i * fieldRowBytes(g);
    if (layout == FrameLayout::Ycbcr444) {
      expandRow(from, destination + displayRow * frameRowBytes(g), g.width / 2);
    } else {
      decode_ycbcr8_bgra(destination + (height - 1 - displayRow) * frameRowBytes(g), from, g.width);
    }
  }
}

void fieldsTo444(const std::uint8_t* field0, const std::uint8_t* field1, std::uint8_t* destination,
                 FieldGeometry g) {
  fieldRowsToFrame(FrameLayout::Ycbcr444, field0, 0, destination, g, 0, g.lines);
  fieldRowsToFrame(FrameLayout::Ycbcr444, field1, 1, destination, g, 0, g.lines);
}

void fieldsFrom444(const std::uint8_t* source, std::uint8_t* field0, std::uint8_t* field1, FieldGeometry g) {
  // The source is read straight through, pair after pair: with an odd width
  // its rows are not width x 4 bytes apart.
  const std::uint32_t pairs = g.width / 2;
  for (std::uint32_t i = 0; i < g.lines; ++i) {
    source = packRow(source, field0 + i * fieldRowBytes(g), pairs);
    source = packRow(source, field1 + i * fieldRowBytes(g), pairs);
  }
}

void fieldsToBgra(const std::uint8_t* field0, const std::uint8_t* field1, std::uint8_t* destination,
                  FieldGeometry g) {
  fieldRowsToFrame(FrameLayout::Bgra32, field0, 0, destination, g, 0, g.lines);
  fieldRowsToFrame(FrameLayout::Bgra32, field1, 1, destination, g, 0, g.lines);
}

void fieldsFromBgra(const std::uint8_t* source, std::uint8_t* field0, std::uint8_t* field1, FieldGeometry g) {
  const std::size_t height = 2 * std::size_t{g.lines};
  for (std::uint32_t i = 0; i < g.lines; ++i)
    encode_bgra_ycbcr8(field0 + i * fieldRowBytes(g),
                       source + (height - 1 - 2 * std::size_t{i}) * frameRowBytes(g), g.width);
  for (std::uint32_t i = 0; i < g.lines; ++i)
    encode_bgra_ycbcr8(field1 + i * fieldRowBytes(g),
                       source + (height - 2 - 2 * std::size_t{i}) * frameRowBytes(g), g.width);
}

}  // namespace corvane::qvf
