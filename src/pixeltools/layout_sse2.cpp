// SSE2 4:4:4 rows and value limits: the baseline of the 32-bit build, so no
// byte shuffles; expand and pack take 8 pixels a step, limits 16 bytes.
#include <emmintrin.h>

#include <cstring>

#include "pixeltools/kernels.h"

namespace corvane::pixeltools {
namespace {

__m128i load(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
void store(std::uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// Whole vectors, then one last vector ending at the last group: limiting is
// idempotent, so the overlap with bytes already done is harmless, and the
// groups keep their phase because both ends are multiples of 4 apart.
void limitGroups(std::span<std::uint8_t> groups, __m128i ceiling) {
  const std::size_t n = groups.size() & ~std::size_t{3};
  std::uint8_t* data = groups.data();
  if (n == 0) return;
  if (n < 16) {
    alignas(16) std::uint8_t small[16] = {};
    std::memcpy(small, data, n);
    store(small, _mm_min_epu8(load(small), ceiling));
    std::memcpy(data, small, n);
    return;
  }
  std::size_t i = 0;
  for (; i + 16 <= n; i += 16) store(data + i, _mm_min_epu8(load(data + i), ceiling));
  if (i < n) store(data + n - 16, _mm_min_epu8(load(data + n - 16), ceiling));
}

}  // namespace

void expand444RowSse2(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels) {
  const __m128i lowBytes = _mm_set1_epi16(0x00FF);
  const __m128i opaque = _mm_set1_epi16(static_cast<short>(0xFF00));
  for (std::size_t i = 0; i < pixels; i += 8) {
    // Per macropixel, the words (Cb, Cr) and (Y0, Y1).
    const __m128i w = load(src + 2 * i);
    const __m128i chroma = _mm_and_si128(w, lowBytes);
    const __m128i luma = _mm_srli_epi16(w, 8);
    const __m128i cbTwice = _mm_shufflehi_epi16(_mm_shufflelo_epi16(chroma, 0xA0), 0xA0);
    const __m128i crTwice = _mm_shufflehi_epi16(_mm_shufflelo_epi16(chroma, 0xF5), 0xF5);
    const __m128i yCb = _mm_or_si128(luma, _mm_slli_epi16(cbTwice, 8));
    const __m128i crA = _mm_or_si128(crTwice, opaque);
    store(dst + 4 * i, _mm_unpacklo_epi16(yCb, crA));
    store(dst + 4 * i + 16, _mm_unpackhi_epi16(yCb, crA));
  }
}

void pack444RowSse2(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels) {
  const __m128i lowBytes = _mm_set1_epi16(0x00FF);
  const __m128i firstByte = _mm_set_epi32(0, 0xFF, 0, 0xFF);
  // A pixel pair (Ya Cba Cra Aa Yb Cbb Crb Ab) as four words (Cba Ya Cra Yb).
  auto pairWords = [&](__m128i v) {
    const __m128i yCrYCr = _mm_slli_epi64(_mm_and_si128(v, lowBytes), 16);
    return _mm_or_si128(yCrYCr, _mm_and_si128(_mm_srli_epi64(v, 8), firstByte));
  };
  for (std::size_t i = 0; i < pixels; i += 8) {
    const __m128i a = pairWords(load(src + 4 * i));
    const __m128i b = pairWords(load(src + 4 * i + 16));
    store(dst + 2 * i, _mm_packus_epi16(a, b));
  }
}

void limit422Sse2(std::span<std::uint8_t> groups) {
  limitGroups(groups, _mm_set1_epi8(static_cast<char>(254)));
}

void limit444Sse2(std::span<std::uint8_t> groups) {
  limitGroups(groups, _mm_set1_epi32(static_cast<int>(0xFFFEFEFEu)));
}

}  // namespace corvane::pixeltools
