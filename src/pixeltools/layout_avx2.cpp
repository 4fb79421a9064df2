// AVX2 4:4:4 rows and value limits: expand and pack take 16 pixels a step,
// limits 128 bytes (then 32 at a time).
#include <immintrin.h>

#include <cstring>

#include "pixeltools/kernels.h"

namespace corvane::pixeltools {
namespace {

__m256i load(const std::uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
void store(std::uint8_t* p, __m256i v) { _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v); }

__m256i limited(const std::uint8_t* p, __m256i ceiling) { return _mm256_min_epu8(load(p), ceiling); }

// As in the SSE2 kernels: whole vectors, then one overlapping vector ending
// at the last group, which limiting twice leaves as it is.
void limitGroups(std::span<std::uint8_t> groups, __m256i ceiling) {
  const std::size_t n = groups.size() & ~std::size_t{3};
  std::uint8_t* data = groups.data();
  if (n == 0) return;
  if (n < 32) {
    alignas(32) std::uint8_t small[32] = {};
    std::memcpy(small, data, n);
    store(small, limited(small, ceiling));
    std::memcpy(data, small, n);
    return;
  }
  std::size_t i = 0;
  for (; i + 128 <= n; i += 128) {
    const __m256i a = limited(data + i, ceiling), b = limited(data + i + 32, ceiling);
    const __m256i c = limited(data + i + 64, ceiling), d = limited(data + i + 96, ceiling);
    store(data + i, a), store(data + i + 32, b), store(data + i + 64, c), store(data + i + 96, d);
  }
  for (; i + 32 <= n; i += 32) store(data + i, limited(data + i, ceiling));
  if (i < n) store(data + n - 32, limited(data + n - 32, ceiling));
}

}  // namespace

void expand444RowAvx2(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels) {
  // Both halves see the same 4 macropixels; the low half expands the first
  // two, the high half the last two.
  const __m256i spread = _mm256_setr_epi8(1, 0, 2, -1, 3, 0, 2, -1, 5, 4, 6, -1, 7, 4, 6, -1,  //
                                          9, 8, 10, -1, 11, 8, 10, -1, 13, 12, 14, -1, 15, 12, 14, -1);
  const __m256i opaque = _mm256_set1_epi32(static_cast<int>(0xFF000000u));
  for (std::size_t i = 0; i < pixels; i += 16) {
    const __m256i a =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 2 * i)));
    const __m256i b =
        _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 2 * i + 16)));
    store(dst + 4 * i, _mm256_or_si256(_mm256_shuffle_epi8(a, spread), opaque));
    store(dst + 4 * i + 32, _mm256_or_si256(_mm256_shuffle_epi8(b, spread), opaque));
  }
}

void pack444RowAvx2(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels) {
  // Each 128-bit half packs its two pixel pairs into its low 8 bytes.
  const __m256i gather = _mm256_setr_epi8(1, 0, 2, 4, 9, 8, 10, 12, -1, -1, -1, -1, -1, -1, -1, -1,  //
                                          1, 0, 2, 4, 9, 8, 10, 12, -1, -1, -1, -1, -1, -1, -1, -1);
  for (std::size_t i = 0; i < pixels; i += 16) {
    const __m256i a = _mm256_shuffle_epi8(load(src + 4 * i), gather);
    const __m256i b = _mm256_shuffle_epi8(load(src + 4 * i + 32), gather);
    // Quarters a0 b0 a1 b1 back into a0 a1 b0 b1.
    store(dst + 2 * i, _mm256_permute4x64_epi64(_mm256_unpacklo_epi64(a, b), 0xD8));
  }
}

void limit422Avx2(std::span<std::uint8_t> groups) {
  limitGroups(groups, _mm256_set1_epi8(static_cast<char>(254)));
}

void limit444Avx2(std::span<std::uint8_t> groups) {
  limitGroups(groups, _mm256_set1_epi32(static_cast<int>(0xFFFEFEFEu)));
}

}  // namespace corvane::pixeltools
