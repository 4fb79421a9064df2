// The portable reference for the 4:4:4 rows and the value limits: every other
// variant must equal these byte for byte.
#include <algorithm>

#include "pixeltools/kernels.h"

namespace corvane::pixeltools {
namespace {

constexpr std::uint8_t kOpaque = 255;
constexpr std::uint8_t kHighestValue = 254;

void limitGroups(std::span<std::uint8_t> groups, std::size_t limitedPerGroup) {
  for (std::size_t i = 0; i + 4 <= groups.size(); i += 4)
    for (std::size_t b = 0; b < limitedPerGroup; ++b) groups[i + b] = std::min(groups[i + b], kHighestValue);
}

}  // namespace

void expand444RowScalar(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels) {
  for (std::size_t p = 0; p + 1 < pixels; p += 2, src += 4, dst += 8) {
    const std::uint8_t cb = src[0], y0 = src[1], cr = src[2], y1 = src[3];
    dst[0] = y0, dst[1] = cb, dst[2] = cr, dst[3] = kOpaque;
    dst[4] = y1, dst[5] = cb, dst[6] = cr, dst[7] = kOpaque;
  }
}

void pack444RowScalar(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels) {
  for (std::size_t p = 0; p + 1 < pixels; p += 2, src += 8, dst += 4) {
    dst[0] = src[1];  // Cb of the first pixel
    dst[1] = src[0];  // Y of the first pixel
    dst[2] = src[2];  // Cr of the first pixel
    dst[3] = src[4];  // Y of the second pixel
  }
}

void limit422Scalar(std::span<std::uint8_t> groups) { limitGroups(groups, 4); }

void limit444Scalar(std::span<std::uint8_t> groups) { limitGroups(groups, 3); }

}  // namespace corvane::pixeltools
