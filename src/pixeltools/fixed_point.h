// The fixed-point colour matrix (BT.601, studio range) that every kernel
// implements. The arithmetic is chosen so that 16-bit and 32-bit vector lanes
// reproduce it exactly: the scalar functions here are the definition, and each
// vector kernel must give the same bytes.
#pragma once

#include <algorithm>
#include <cstdint>

namespace corvane::pixeltools {

// Decode: every term is a 16x16 multiply keeping the high half (floor), in
// units of 1/32. The luma term uses Y << 8 unsigned; chroma terms use
// (C - 128) << 8 signed. Coefficients are the matrix scaled by 2^13.
inline constexpr int kDecodeLuma = 9539;     // 1.164383
inline constexpr int kDecodeCbToB = 16525;   // 2.017232
inline constexpr int kDecodeCrToR = 13075;   // 1.596027
inline constexpr int kDecodeCbToG = -3209;   // -0.391762
inline constexpr int kDecodeCrToG = -6660;   // -0.812968
// -16 * 1.164383 * 32, plus 16 to round the final >> 5, less the mean loss of
// the floored terms; picked by exhaustive comparison with the exact matrix.
inline constexpr int kDecodeBias = -580;
inline constexpr int kDecodeShift = 5;

inline int decodeLumaTerm(int y) { return ((y << 8) * kDecodeLuma) >> 16; }
inline int decodeChromaTerm(int c, int k) { return (((c - 128) * 256) * k) >> 16; }
inline std::uint8_t clampByte(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

// One macropixel (Cb Y0 Cr Y1) to two B G R A pixels.
inline void decodeMacropixel(std::uint8_t* dst, const std::uint8_t* src) {
  const int cb = src[0], cr = src[2];
  const int b = decodeChromaTerm(cb, kDecodeCbToB);
  const int g = decodeChromaTerm(cb, kDecodeCbToG) + decodeChromaTerm(cr, kDecodeCrToG);
  const int r = decodeChromaTerm(cr, kDecodeCrToR);
  for (int i = 0; i < 2; ++i) {
    const int y = decodeLumaTerm(src[1 + 2 * i]) + kDecodeBias;
    dst[4 * i + 0] = clampByte((y + b) >> kDecodeShift);
    dst[4 * i + 1] = clampByte((y + g) >> kDecodeShift);
    dst[4 * i + 2] = clampByte((y + r) >> kDecodeShift);
    dst[4 * i + 3] = 255;
  }
}

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

// Two B G R A pixels to one macropixel (Cb Y0 Cr Y1); alpha is ignored.
// Every result lies in 16..235 (Y) or 16..240 (Cb, Cr) by construction.
inline void encodePair(std::uint8_t* dst, const std::uint8_t* src) {
  const int b0 = src[0], g0 = src[1], r0 = src[2];
  const int b1 = src[4], g1 = src[5], r1 = src[6];
  const int bs = b0 + b1, gs = g0 + g1, rs = r0 + r1;
  dst[0] = clampByte((kEncodeBToCb * bs + kEncodeGToCb * gs + kEncodeRToCb * rs + kEncodeChromaBias) >> 16);
  dst[1] = clampByte((kEncodeBToY * b0 + kEncodeGToY * g0 + kEncodeRToY * r0 + kEncodeLumaBias) >> 15);
  dst[2] = clampByte((kEncodeBToCr * bs + kEncodeGToCr * gs + kEncodeRToCr * rs + kEncodeChromaBias) >> 16);
  dst[3] = clampByte((kEncodeBToY * b1 + kEncodeGToY * g1 + kEncodeRToY * r1 + kEncodeLumaBias) >> 15);
}

}  // namespace corvane::pixeltools
