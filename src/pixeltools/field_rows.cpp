#include "pixeltools/field_rows.h"

#include <cstddef>

#include "engine/pixeltools.h"
#include "pixeltools/kernel_table.h"

namespace corvane::pixeltools {
namespace {

std::size_t fieldRowBytes(FieldGeometry g) { return std::size_t{g.width} * 2; }
std::size_t frameRowBytes(FieldGeometry g) { return std::size_t{g.width} * 4; }

const LayoutKernelSet& layoutKernels() {
  static const LayoutKernelSet& set = selectedLayoutKernelSet();
  return set;
}

}  // namespace

void fieldRowsToFrame(FrameLayout layout, const std::uint8_t* field, std::uint32_t parity,
                      std::uint8_t* destination, FieldGeometry g, std::uint32_t firstRow,
                      std::uint32_t endRow) {
  const std::size_t height = 2 * std::size_t{g.lines};
  const LayoutKernelSet& kernels = layoutKernels();
  for (std::uint32_t i = firstRow; i < endRow; ++i) {
    const std::size_t displayRow = 2 * std::size_t{i} + parity;
    const std::uint8_t* from = field + i * fieldRowBytes(g);
    if (layout == FrameLayout::Ycbcr444) {
      expand444With(kernels, destination + displayRow * frameRowBytes(g), from, g.width);
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
  const std::size_t consumed = (std::size_t{g.width} & ~std::size_t{1}) * 4;
  const LayoutKernelSet& kernels = layoutKernels();
  for (std::uint32_t i = 0; i < g.lines; ++i) {
    pack444With(kernels, field0 + i * fieldRowBytes(g), source, g.width);
    source += consumed;
    pack444With(kernels, field1 + i * fieldRowBytes(g), source, g.width);
    source += consumed;
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

}  // namespace corvane::pixeltools
