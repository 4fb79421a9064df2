// The pixel-conversion contract. Both conversions work on whole macropixels
// (Cb, Y0, Cr, Y1) and 32-bit B, G, R, A pixels; pixelCount is the number of
// pixels and is expected to be even (an odd last pixel is left alone).
// Neither reads or writes beyond pixelCount pixels.
#pragma once

#include <cstdint>

namespace corvane {

// 4:2:2 (Cb Y0 Cr Y1) to B G R A, alpha 255.
void decode_ycbcr8_bgra(std::uint8_t* destination, const std::uint8_t* source, std::uint32_t pixelCount);

// B G R A to 4:2:2; alpha is ignored.
void encode_bgra_ycbcr8(std::uint8_t* destination, const std::uint8_t* source, std::uint32_t pixelCount);

}  // namespace corvane
