// The portable reference kernels: every other variant must equal these byte
// for byte.
#include <algorithm>

#include "pixeltools/fixed_point.h"
#include "pixeltools/kernels.h"

namespace corvane::pixeltools {
namespace {

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

// Two B G R A pixels to one macropixel (Cb Y0 Cr Y1); alpha is ignored.
// Every result lies in 16..235 (Y) or 16..240 (Cb, Cr) by construction.
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

}  // namespace

void decodeRowScalar(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels) {
  for (std::size_t i = 0; i + 1 < pixels; i += 2) decodeMacropixel(dst + 4 * i, src + 2 * i);
}

void encodeRowScalar(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels) {
  for (std::size_t i = 0; i + 1 < pixels; i += 2) encodePair(dst + 2 * i, src + 4 * i);
}

}  // namespace corvane::pixeltools
