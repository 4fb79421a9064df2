// The fixed-point colour matrix (BT.601, studio range) that every kernel
// implements. The arithmetic is chosen so that 16-bit and 32-bit vector lanes
// reproduce it exactly; convert_scalar.cpp spells it out pixel by pixel.
// Constants only: the kernel files are built with different instruction sets,
// so they must share no inline code.
#pragma once

#include <cstdint>

namespace corvane::pixeltools {

// Decode: every term is a 16x16 multiply keeping the high half (floor), in
// units of 1/32. The luma term uses Y << 8 unsigned; chroma terms use
// (C - 128) << 8 signed. Coefficients are the matrix scaled by 2^13.
inline constexpr int kDecodeLuma = 9539;    // 1.164383
inline constexpr int kDecodeCbToB = 16525;  // 2.017232
inline constexpr int kDecodeCrToR = 13075;  // 1.596027
inline constexpr int kDecodeCbToG = -3209;  // -0.391762
inline constexpr int kDecodeCrToG = -6660;  // -0.812968
// -16 * 1.164383 * 32, plus 16 to round the final >> 5, less the mean loss of
// the floored terms; picked by exhaustive comparison with the exact matrix.
inline constexpr int kDecodeBias = -580;
inline constexpr int kDecodeShift = 5;

// Encode: 32-bit sums of 16-bit products, coefficients scaled by 2^15.
// Luma per pixel, rounded at >> 15. Chroma from the sum of the pair's R, G, B
// (that is, from their average), rounded at >> 16.
inline constexpr int kEncodeRToY = 8414;     // 65.481 / 255
inline constexpr int kEncodeGToY = 16519;    // 128.553 / 255
inline constexpr int kEncodeBToY = 3208;     // 24.966 / 255
inline constexpr int kEncodeRToCb = -4857;   // -37.797 / 255
inline constexpr int kEncodeGToCb = -9535;   // -74.203 / 255
inline constexpr int kEncodeBToCb = 14392;   // 112.0 / 255
inline constexpr int kEncodeRToCr = 14392;   // 112.0 / 255
inline constexpr int kEncodeGToCr = -12052;  // -93.786 / 255
inline constexpr int kEncodeBToCr = -2340;   // -18.214 / 255
inline constexpr int kEncodeLumaBias = (16 << 15) + (1 << 14);
inline constexpr int kEncodeChromaBias = (128 << 16) + (1 << 15);
static_assert(kEncodeRToCb + kEncodeGToCb + kEncodeBToCb == 0, "grey must give Cb 128");
static_assert(kEncodeRToCr + kEncodeGToCr + kEncodeBToCr == 0, "grey must give Cr 128");

}  // namespace corvane::pixeltools
