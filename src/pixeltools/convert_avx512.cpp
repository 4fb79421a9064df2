// AVX-512 kernels: decode 32 pixels a step, encode 64. The last partial step
// uses masked loads and stores (which never fault on masked-out bytes), so
// these kernels take any even pixel count without a scratch buffer.
#include <immintrin.h>

#include "pixeltools/fixed_point.h"
#include "pixeltools/kernels.h"

namespace corvane::pixeltools {
namespace {

__m512i pairOf(int even, int odd) {
  return _mm512_set1_epi32(
      static_cast<int>((static_cast<unsigned>(odd) << 16) | (static_cast<unsigned>(even) & 0xFFFFu)));
}

__mmask64 firstBytes(std::size_t n) { return n >= 64 ? ~__mmask64{0} : ((__mmask64{1} << n) - 1); }

std::size_t bytesLeft(std::size_t total, std::size_t offset) { return total > offset ? total - offset : 0; }

struct DecodeConstants {
  __m512i lumaMask = _mm512_set1_epi16(static_cast<short>(0xFF00));
  __m512i lumaK = _mm512_set1_epi16(kDecodeLuma);
  __m512i bias = _mm512_set1_epi16(kDecodeBias);
  __m512i signFlip = _mm512_set1_epi16(static_cast<short>(0x8000));
  __m512i brK = pairOf(kDecodeCbToB, kDecodeCrToR);
  __m512i gK = pairOf(kDecodeCbToG, kDecodeCrToG);
  __m512i alpha = _mm512_set1_epi16(255);
  __m512i evenWords =
      _mm512_broadcast_i32x4(_mm_setr_epi8(0, 1, 0, 1, 4, 5, 4, 5, 8, 9, 8, 9, 12, 13, 12, 13));
  __m512i oddWords =
      _mm512_broadcast_i32x4(_mm_setr_epi8(2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15));
  // 128-bit lane k takes quarter-rows k and k + 4, so that the lane-local
  // packing below yields pixels in order.
  __m512i spread = _mm512_set_epi64(7, 3, 6, 2, 5, 1, 4, 0);
};

// 32 pixels of 4:2:2 (as loaded) to 32 B G R A pixels in lo (0-15), hi (16-31).
inline void decode32(const DecodeConstants& k, __m512i raw, __m512i& lo, __m512i& hi) {
  const __m512i w = _mm512_permutexvar_epi64(k.spread, raw);
  const __m512i y = _mm512_add_epi16(_mm512_mulhi_epu16(_mm512_and_si512(w, k.lumaMask), k.lumaK), k.bias);
  const __m512i c = _mm512_xor_si512(_mm512_slli_epi16(w, 8), k.signFlip);
  const __m512i br = _mm512_mulhi_epi16(c, k.brK);
  const __m512i gp = _mm512_mulhi_epi16(c, k.gK);
  const __m512i g = _mm512_add_epi16(gp, _mm512_rol_epi32(gp, 16));
  const __m512i b = _mm512_shuffle_epi8(br, k.evenWords);
  const __m512i r = _mm512_shuffle_epi8(br, k.oddWords);
  const __m512i bv = _mm512_srai_epi16(_mm512_add_epi16(y, b), kDecodeShift);
  const __m512i gv = _mm512_srai_epi16(_mm512_add_epi16(y, g), kDecodeShift);
  const __m512i rv = _mm512_srai_epi16(_mm512_add_epi16(y, r), kDecodeShift);
  const __m512i bR = _mm512_packus_epi16(bv, rv);
  const __m512i gA = _mm512_packus_epi16(gv, k.alpha);
  const __m512i bg = _mm512_unpacklo_epi8(bR, gA);
  const __m512i ra = _mm512_unpackhi_epi8(bR, gA);
  lo = _mm512_unpacklo_epi16(bg, ra);
  hi = _mm512_unpackhi_epi16(bg, ra);
}

}  // namespace

void decodeRowAvx512(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels) {
  const DecodeConstants k;
  const std::size_t even = pixels & ~std::size_t{1};
  std::size_t i = 0;
  for (; i + 32 <= even; i += 32) {
    __m512i lo, hi;
    decode32(k, _mm512_loadu_si512(src + 2 * i), lo, hi);
    _mm512_storeu_si512(dst + 4 * i, lo);
    _mm512_storeu_si512(dst + 4 * i + 64, hi);
  }
  if (i < even) {
    const std::size_t outBytes = 4 * (even - i);
    __m512i lo, hi;
    decode32(k, _mm512_maskz_loadu_epi8(firstBytes(2 * (even - i)), src + 2 * i), lo, hi);
    _mm512_mask_storeu_epi8(dst + 4 * i, firstBytes(outBytes), lo);
    if (outBytes > 64) _mm512_mask_storeu_epi8(dst + 4 * i + 64, firstBytes(outBytes - 64), hi);
  }
}

namespace {

struct EncodeConstants {
  __m512i lowBytes = _mm512_set1_epi32(0x00FF00FF);
  // The alpha word is replaced by kBiasWord, which carries both rounding
  // biases through the multiplies: kBiasWord * 2112 is the luma bias and
  // 2 * kBiasWord * 16448 the chroma bias.
  __m512i biasWords = _mm512_set1_epi32(kBiasWord << 16);
  __m512i lumaBR = pairOf(kEncodeBToY, kEncodeRToY);
  __m512i lumaGA = pairOf(kEncodeGToY, kEncodeLumaBias / kBiasWord);
  __m512i chromaBR = _mm512_set1_epi64(
      static_cast<long long>((static_cast<unsigned long long>(pairBits(kEncodeBToCr, kEncodeRToCr)) << 32) |
                             pairBits(kEncodeBToCb, kEncodeRToCb)));
  __m512i chromaGA = _mm512_set1_epi64(static_cast<long long>(
      (static_cast<unsigned long long>(pairBits(kEncodeGToCr, kChromaBiasFactor)) << 32) |
      pairBits(kEncodeGToCb, kChromaBiasFactor)));
  // Quarter-rows come out of the lane-local packing as 0 4 1 5 2 6 3 7.
  __m512i gather = _mm512_set_epi64(7, 5, 3, 1, 6, 4, 2, 0);

  static constexpr int kBiasWord = 256;
  static constexpr int kChromaBiasFactor = kEncodeChromaBias / (2 * kBiasWord);
  static_assert(kEncodeLumaBias % kBiasWord == 0 && kEncodeLumaBias / kBiasWord <= 32767);
  static_assert(kEncodeChromaBias % (2 * kBiasWord) == 0 && kChromaBiasFactor <= 32767);

  static unsigned pairBits(int even, int odd) {
    return (static_cast<unsigned>(odd) << 16) | (static_cast<unsigned>(even) & 0xFFFFu);
  }
};

// 16 B G R A pixels to 16 32-bit lumas and, per pair, 32-bit Cb and Cr.
inline void encode16(const EncodeConstants& k, __m512i p, __m512i& y, __m512i& c) {
  const __m512i br = _mm512_and_si512(p, k.lowBytes);
  const __m512i ga = _mm512_mask_srli_epi16(k.biasWords, 0x55555555u, p, 8);  // G, bias word
  y = _mm512_add_epi32(_mm512_madd_epi16(br, k.lumaBR), _mm512_madd_epi16(ga, k.lumaGA));
  y = _mm512_srli_epi32(y, 15);
  const __m512i brSum = _mm512_add_epi16(br, _mm512_shuffle_epi32(br, _MM_PERM_CDAB));
  const __m512i gaSum = _mm512_add_epi16(ga, _mm512_shuffle_epi32(ga, _MM_PERM_CDAB));
  c = _mm512_add_epi32(_mm512_madd_epi16(brSum, k.chromaBR), _mm512_madd_epi16(gaSum, k.chromaGA));
  c = _mm512_srli_epi32(c, 16);
}

// 64 pixels, given as four registers of 16, to 128 bytes of 4:2:2.
inline void encode64(const EncodeConstants& k, const __m512i (&p)[4], __m512i& lo, __m512i& hi) {
  __m512i y[4], c[4];
  for (int q = 0; q < 4; ++q) encode16(k, p[q], y[q], c[q]);
  const __m512i yb = _mm512_packus_epi16(_mm512_packs_epi32(y[0], y[1]), _mm512_packs_epi32(y[2], y[3]));
  const __m512i cb = _mm512_packus_epi16(_mm512_packs_epi32(c[0], c[1]), _mm512_packs_epi32(c[2], c[3]));
  lo = _mm512_permutexvar_epi64(k.gather, _mm512_unpacklo_epi8(cb, yb));
  hi = _mm512_permutexvar_epi64(k.gather, _mm512_unpackhi_epi8(cb, yb));
}

}  // namespace

void encodeRowAvx512(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels) {
  const EncodeConstants k;
  const std::size_t even = pixels & ~std::size_t{1};
  std::size_t i = 0;
  for (; i + 64 <= even; i += 64) {
    const __m512i p[4] = {_mm512_loadu_si512(src + 4 * i), _mm512_loadu_si512(src + 4 * i + 64),
                          _mm512_loadu_si512(src + 4 * i + 128), _mm512_loadu_si512(src + 4 * i + 192)};
    __m512i lo, hi;
    encode64(k, p, lo, hi);
    _mm512_storeu_si512(dst + 2 * i, lo);
    _mm512_storeu_si512(dst + 2 * i + 64, hi);
  }
  if (i < even) {
    const std::size_t inBytes = 4 * (even - i);
    const std::size_t outBytes = 2 * (even - i);
    __m512i p[4];
    for (std::size_t q = 0; q < 4; ++q) {
      const std::size_t left = bytesLeft(inBytes, 64 * q);
      p[q] = left != 0 ? _mm512_maskz_loadu_epi8(firstBytes(left), src + 4 * i + 64 * q)
                       : _mm512_setzero_si512();
    }
    __m512i lo, hi;
    encode64(k, p, lo, hi);
    _mm512_mask_storeu_epi8(dst + 2 * i, firstBytes(outBytes), lo);
    if (outBytes > 64) _mm512_mask_storeu_epi8(dst + 2 * i + 64, firstBytes(outBytes - 64), hi);
  }
}

}  // namespace corvane::pixeltools
