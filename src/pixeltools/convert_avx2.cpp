// AVX2 kernels: decode 16 pixels a step, encode 32 (with one 16-pixel step at
// the end). Lane-local packing leaves quarter-rows out of order; one
// quadword permute per register puts them back.
#include <immintrin.h>

#include "pixeltools/fixed_point.h"
#include "pixeltools/kernels.h"

namespace corvane::pixeltools {
namespace {

__m256i pairOf(int even, int odd) {
  return _mm256_set1_epi32(
      static_cast<int>((static_cast<unsigned>(odd) << 16) | (static_cast<unsigned>(even) & 0xFFFFu)));
}

__m256i bytePattern(char a0, char a1, char a2, char a3) {
  return _mm256_setr_epi8(a0, a1, a0, a1, a0 + 4, a1 + 4, a0 + 4, a1 + 4, a0 + 8, a1 + 8, a0 + 8, a1 + 8,
                          a0 + 12, a1 + 12, a0 + 12, a1 + 12, a2, a3, a2, a3, a2 + 4, a3 + 4, a2 + 4, a3 + 4,
                          a2 + 8, a3 + 8, a2 + 8, a3 + 8, a2 + 12, a3 + 12, a2 + 12, a3 + 12);
}

}  // namespace

void decodeRowAvx2(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels) {
  const __m256i lumaMask = _mm256_set1_epi16(static_cast<short>(0xFF00));
  const __m256i lumaK = _mm256_set1_epi16(kDecodeLuma);
  const __m256i bias = _mm256_set1_epi16(kDecodeBias);
  const __m256i signFlip = _mm256_set1_epi16(static_cast<short>(0x8000));
  const __m256i brK = pairOf(kDecodeCbToB, kDecodeCrToR);
  const __m256i gK = pairOf(kDecodeCbToG, kDecodeCrToG);
  const __m256i alpha = _mm256_set1_epi16(255);
  const __m256i evenWords = bytePattern(0, 1, 0, 1);
  const __m256i oddWords = bytePattern(2, 3, 2, 3);
  const __m256i swapWords = _mm256_setr_epi8(2, 3, 0, 1, 6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13, 2, 3, 0, 1,
                                             6, 7, 4, 5, 10, 11, 8, 9, 14, 15, 12, 13);
  for (std::size_t i = 0; i < pixels; i += 16) {
    // Quarter-rows 0 2 1 3, so that each 128-bit half yields 8 pixels in order.
    const __m256i w =
        _mm256_permute4x64_epi64(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + 2 * i)), 0xD8);
    const __m256i y = _mm256_add_epi16(_mm256_mulhi_epu16(_mm256_and_si256(w, lumaMask), lumaK), bias);
    const __m256i c = _mm256_xor_si256(_mm256_slli_epi16(w, 8), signFlip);
    const __m256i br = _mm256_mulhi_epi16(c, brK);
    const __m256i gp = _mm256_mulhi_epi16(c, gK);
    const __m256i g = _mm256_add_epi16(gp, _mm256_shuffle_epi8(gp, swapWords));
    const __m256i b = _mm256_shuffle_epi8(br, evenWords);
    const __m256i r = _mm256_shuffle_epi8(br, oddWords);
    const __m256i bv = _mm256_srai_epi16(_mm256_add_epi16(y, b), kDecodeShift);
    const __m256i gv = _mm256_srai_epi16(_mm256_add_epi16(y, g), kDecodeShift);
    const __m256i rv = _mm256_srai_epi16(_mm256_add_epi16(y, r), kDecodeShift);
    const __m256i bR = _mm256_packus_epi16(bv, rv);
    const __m256i gA = _mm256_packus_epi16(gv, alpha);
    const __m256i bg = _mm256_unpacklo_epi8(bR, gA);
    const __m256i ra = _mm256_unpackhi_epi8(bR, gA);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 4 * i), _mm256_unpacklo_epi16(bg, ra));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 4 * i + 32), _mm256_unpackhi_epi16(bg, ra));
  }
}

namespace {

struct EncodeConstants {
  __m256i lowBytes = _mm256_set1_epi32(0x00FF00FF);
  __m256i lumaBR = pairOf(kEncodeBToY, kEncodeRToY);
  __m256i lumaGA = pairOf(kEncodeGToY, 0);
  __m256i lumaBias = _mm256_set1_epi32(kEncodeLumaBias);
  __m256i chromaBR =
      _mm256_setr_epi16(kEncodeBToCb, kEncodeRToCb, kEncodeBToCr, kEncodeRToCr, kEncodeBToCb, kEncodeRToCb,
                        kEncodeBToCr, kEncodeRToCr, kEncodeBToCb, kEncodeRToCb, kEncodeBToCr, kEncodeRToCr,
                        kEncodeBToCb, kEncodeRToCb, kEncodeBToCr, kEncodeRToCr);
  __m256i chromaGA = _mm256_setr_epi16(kEncodeGToCb, 0, kEncodeGToCr, 0, kEncodeGToCb, 0, kEncodeGToCr, 0,
                                       kEncodeGToCb, 0, kEncodeGToCr, 0, kEncodeGToCb, 0, kEncodeGToCr, 0);
  __m256i chromaBias = _mm256_set1_epi32(kEncodeChromaBias);
};

// Eight B G R A pixels to eight 32-bit lumas and, per pair, 32-bit Cb and Cr.
inline void encodeOctet(const EncodeConstants& k, const std::uint8_t* src, __m256i& y, __m256i& c) {
  const __m256i p = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src));
  const __m256i br = _mm256_and_si256(p, k.lowBytes);
  const __m256i ga = _mm256_srli_epi16(p, 8);
  y = _mm256_add_epi32(_mm256_add_epi32(_mm256_madd_epi16(br, k.lumaBR), _mm256_madd_epi16(ga, k.lumaGA)),
                       k.lumaBias);
  y = _mm256_srli_epi32(y, 15);
  const __m256i brSum = _mm256_add_epi16(br, _mm256_shuffle_epi32(br, 0xB1));
  const __m256i gaSum = _mm256_add_epi16(ga, _mm256_shuffle_epi32(ga, 0xB1));
  c = _mm256_add_epi32(
      _mm256_add_epi32(_mm256_madd_epi16(brSum, k.chromaBR), _mm256_madd_epi16(gaSum, k.chromaGA)),
      k.chromaBias);
  c = _mm256_srli_epi32(c, 16);
}

}  // namespace

void encodeRowAvx2(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels) {
  const EncodeConstants k;
  std::size_t i = 0;
  for (; i + 32 <= pixels; i += 32) {
    __m256i y[4], c[4];
    for (int q = 0; q < 4; ++q) encodeOctet(k, src + 4 * i + 32 * q, y[q], c[q]);
    const __m256i yb = _mm256_packus_epi16(_mm256_packs_epi32(y[0], y[1]), _mm256_packs_epi32(y[2], y[3]));
    const __m256i cb = _mm256_packus_epi16(_mm256_packs_epi32(c[0], c[1]), _mm256_packs_epi32(c[2], c[3]));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 2 * i),
                        _mm256_permute4x64_epi64(_mm256_unpacklo_epi8(cb, yb), 0xD8));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 2 * i + 32),
                        _mm256_permute4x64_epi64(_mm256_unpackhi_epi8(cb, yb), 0xD8));
  }
  if (i < pixels) {  // one 16-pixel step
    __m256i y[2], c[2];
    for (int q = 0; q < 2; ++q) encodeOctet(k, src + 4 * i + 32 * q, y[q], c[q]);
    const __m256i yw = _mm256_packs_epi32(y[0], y[1]);
    const __m256i cw = _mm256_packs_epi32(c[0], c[1]);
    const __m256i yb = _mm256_packus_epi16(yw, yw);
    const __m256i cb = _mm256_packus_epi16(cw, cw);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 2 * i),
                        _mm256_permute4x64_epi64(_mm256_unpacklo_epi8(cb, yb), 0xD8));
  }
}

}  // namespace corvane::pixeltools
