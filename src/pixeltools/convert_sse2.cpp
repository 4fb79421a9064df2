// SSE2 kernels: the baseline of the 32-bit build. Decode takes 8 pixels a
// step, encode 16.
#include <emmintrin.h>

#include "pixeltools/fixed_point.h"
#include "pixeltools/kernels.h"

namespace corvane::pixeltools {
namespace {

inline __m128i pairOf(int even, int odd) {
  return _mm_set1_epi32(
      static_cast<int>((static_cast<unsigned>(odd) << 16) | (static_cast<unsigned>(even) & 0xFFFFu)));
}

}  // namespace

void decodeRowSse2(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels) {
  const __m128i lumaMask = _mm_set1_epi16(static_cast<short>(0xFF00));
  const __m128i lumaK = _mm_set1_epi16(kDecodeLuma);
  const __m128i bias = _mm_set1_epi16(kDecodeBias);
  const __m128i signFlip = _mm_set1_epi16(static_cast<short>(0x8000));
  const __m128i brK = pairOf(kDecodeCbToB, kDecodeCrToR);
  const __m128i gK = pairOf(kDecodeCbToG, kDecodeCrToG);
  const __m128i alpha = _mm_set1_epi16(255);
  for (std::size_t i = 0; i < pixels; i += 8) {
    const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 2 * i));
    const __m128i y = _mm_add_epi16(_mm_mulhi_epu16(_mm_and_si128(w, lumaMask), lumaK), bias);
    // Words alternate Cb, Cr of each macropixel as (C - 128) << 8.
    const __m128i c = _mm_xor_si128(_mm_slli_epi16(w, 8), signFlip);
    const __m128i br = _mm_mulhi_epi16(c, brK);
    const __m128i gp = _mm_mulhi_epi16(c, gK);
    const __m128i g = _mm_add_epi16(gp, _mm_or_si128(_mm_slli_epi32(gp, 16), _mm_srli_epi32(gp, 16)));
    const __m128i b = _mm_shufflehi_epi16(_mm_shufflelo_epi16(br, 0xA0), 0xA0);
    const __m128i r = _mm_shufflehi_epi16(_mm_shufflelo_epi16(br, 0xF5), 0xF5);
    const __m128i bv = _mm_srai_epi16(_mm_add_epi16(y, b), kDecodeShift);
    const __m128i gv = _mm_srai_epi16(_mm_add_epi16(y, g), kDecodeShift);
    const __m128i rv = _mm_srai_epi16(_mm_add_epi16(y, r), kDecodeShift);
    const __m128i bR = _mm_packus_epi16(bv, rv);
    const __m128i gA = _mm_packus_epi16(gv, alpha);
    const __m128i bg = _mm_unpacklo_epi8(bR, gA);
    const __m128i ra = _mm_unpackhi_epi8(bR, gA);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * i), _mm_unpacklo_epi16(bg, ra));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * i + 16), _mm_unpackhi_epi16(bg, ra));
  }
}

namespace {

struct EncodeConstants {
  __m128i lowBytes = _mm_set1_epi32(0x00FF00FF);
  __m128i lumaBR = pairOf(kEncodeBToY, kEncodeRToY);
  __m128i lumaGA = pairOf(kEncodeGToY, 0);
  __m128i lumaBias = _mm_set1_epi32(kEncodeLumaBias);
  __m128i chromaBR = _mm_setr_epi16(kEncodeBToCb, kEncodeRToCb, kEncodeBToCr, kEncodeRToCr, kEncodeBToCb,
                                    kEncodeRToCb, kEncodeBToCr, kEncodeRToCr);
  __m128i chromaGA = _mm_setr_epi16(kEncodeGToCb, 0, kEncodeGToCr, 0, kEncodeGToCb, 0, kEncodeGToCr, 0);
  __m128i chromaBias = _mm_set1_epi32(kEncodeChromaBias);
};

// Four B G R A pixels to four 32-bit lumas and, per pair, 32-bit Cb and Cr.
inline void encodeQuad(const EncodeConstants& k, const std::uint8_t* src, __m128i& y, __m128i& c) {
  const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
  const __m128i br = _mm_and_si128(p, k.lowBytes);
  const __m128i ga = _mm_srli_epi16(p, 8);
  y = _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(br, k.lumaBR), _mm_madd_epi16(ga, k.lumaGA)), k.lumaBias);
  y = _mm_srli_epi32(y, 15);
  const __m128i brSum = _mm_add_epi16(br, _mm_shuffle_epi32(br, 0xB1));
  const __m128i gaSum = _mm_add_epi16(ga, _mm_shuffle_epi32(ga, 0xB1));
  c = _mm_add_epi32(_mm_add_epi32(_mm_madd_epi16(brSum, k.chromaBR), _mm_madd_epi16(gaSum, k.chromaGA)),
                    k.chromaBias);
  c = _mm_srli_epi32(c, 16);
}

}  // namespace

void encodeRowSse2(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels) {
  const EncodeConstants k;
  for (std::size_t i = 0; i < pixels; i += 16) {
    __m128i y[4], c[4];
    for (int q = 0; q < 4; ++q) encodeQuad(k, src + 4 * i + 16 * q, y[q], c[q]);
    const __m128i yb = _mm_packus_epi16(_mm_packs_epi32(y[0], y[1]), _mm_packs_epi32(y[2], y[3]));
    const __m128i cb = _mm_packus_epi16(_mm_packs_epi32(c[0], c[1]), _mm_packs_epi32(c[2], c[3]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * i), _mm_unpacklo_epi8(cb, yb));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 2 * i + 16), _mm_unpackhi_epi8(cb, yb));
  }
}

}  // namespace corvane::pixeltools
