// The portable reference kernels: every other variant must equal these byte
// for byte.
#include "pixeltools/fixed_point.h"
#include "pixeltools/kernels.h"

namespace corvane::pixeltools {

void decodeRowScalar(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels) {
  for (std::size_t i = 0; i + 1 < pixels; i += 2) decodeMacropixel(dst + 4 * i, src + 2 * i);
}

void encodeRowScalar(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels) {
  for (std::size_t i = 0; i + 1 < pixels; i += 2) encodePair(dst + 2 * i, src + 4 * i);
}

}  // namespace corvane::pixeltools
