#include "host/host_pixels.h"

#include <emmintrin.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace corvane::host {
namespace {

// The three planes of a planar 4:2:2 picture.
struct Planes {
  const std::uint8_t* y;
  const std::uint8_t* cb;
  const std::uint8_t* cr;
  std::size_t chromaWidth;
};

Planes planesOf(std::span<const std::uint8_t> planar, PictureSize size) {
  if (planar.size() < size.planarBytes() || size.width % 2 != 0)
    throw std::logic_error("planar picture size");
  const std::size_t luma = std::size_t{size.width} * size.height;
  const std::size_t chroma = luma / 2;
  return {planar.data(), planar.data() + luma, planar.data() + luma + chroma, size.width / 2u};
}

void need(std::span<const std::uint8_t> frame, std::size_t bytes) {
  if (frame.size() < bytes) throw std::logic_error("host frame buffer too small");
}

std::uint32_t toByte(double v) { return static_cast<std::uint32_t>(std::clamp(std::lround(v), 0L, 255L)); }

// One opaque pixel, its bytes B G R A, by the BT.601 studio-range matrix in
// double precision: the definition the fast path below must agree with.
std::uint32_t exactPixel(std::uint8_t luma, std::uint8_t cb, std::uint8_t cr) {
  static_assert(std::endian::native == std::endian::little);
  const double y = 1.164383 * (luma - 16);
  const double u = cb - 128.0;
  const double v = cr - 128.0;
  return toByte(y + 2.017232 * u) | toByte(y - 0.391762 * u - 0.812968 * v) << 8 |
         toByte(y + 1.596027 * v) << 16 | 0xFF000000u;
}

void exactPair(const std::uint8_t* y, std::uint8_t cb, std::uint8_t cr, std::uint8_t* out) {
  for (int i = 0; i < 2; ++i) {
    const std::uint32_t pixel = exactPixel(y[i], cb, cr);
    std::memcpy(out + 4 * i, &pixel, 4);
  }
}

// Single precision is within 2e-4 of the exact value here; a value whose
// fraction lies closer than this to one half could round the other way.
constexpr float kNearHalf = 1.0f / 1024;

// Four lanes rounded to nearest (the default rounding of the conversion), and
// in nearHalf the lanes whose rounding single precision cannot decide; those
// include every tie, where lround and the conversion differ.
__m128i roundLanes(__m128 v, __m128& nearHalf) {
  const __m128i whole = _mm_cvtps_epi32(v);
  const __m128 distance = _mm_andnot_ps(_mm_set1_ps(-0.0f), _mm_sub_ps(v, _mm_cvtepi32_ps(whole)));
  nearHalf = _mm_or_ps(nearHalf, _mm_cmpgt_ps(distance, _mm_set1_ps(0.5f - kNearHalf)));
  return whole;
}

// The low four bytes of b as four float lanes.
__m128 floatLanes(__m128i b) {
  const __m128i zero = _mm_setzero_si128();
  return _mm_cvtepi32_ps(_mm_unpacklo_epi16(_mm_unpacklo_epi8(b, zero), zero));
}

// A chroma pair c0 c1 as the lanes of its pixels, c0 c0 c1 c1, less 128.
__m128 chromaLanes(const std::uint8_t* c) {
  std::uint16_t pair = 0;
  std::memcpy(&pair, c, 2);
  const __m128i b = _mm_cvtsi32_si128(pair);
  return _mm_sub_ps(floatLanes(_mm_unpacklo_epi8(b, b)), _mm_set1_ps(128.0f));
}

// Four pixels, two chroma pairs, in four float lanes; false, with nothing
// written, when one of their twelve values needs the exact path.
bool fastQuad(const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr, std::uint8_t* out) {
  std::int32_t luma = 0;
  std::memcpy(&luma, y, 4);
  const __m128 ly =
      _mm_mul_ps(_mm_sub_ps(floatLanes(_mm_cvtsi32_si128(luma)), _mm_set1_ps(16.0f)), _mm_set1_ps(1.164383f));
  const __m128 u = chromaLanes(cb);
  const __m128 v = chromaLanes(cr);
  __m128 nearHalf = _mm_setzero_ps();
  const __m128i blue = roundLanes(_mm_add_ps(ly, _mm_mul_ps(u, _mm_set1_ps(2.017232f))), nearHalf);
  const __m128i green = roundLanes(_mm_sub_ps(_mm_sub_ps(ly, _mm_mul_ps(u, _mm_set1_ps(0.391762f))),
                                              _mm_mul_ps(v, _mm_set1_ps(0.812968f))),
                                   nearHalf);
  const __m128i red = roundLanes(_mm_add_ps(ly, _mm_mul_ps(v, _mm_set1_ps(1.596027f))), nearHalf);
  if (_mm_movemask_ps(nearHalf) != 0) return false;
  // Saturating packs clamp to 0..255: B0-3 R0-3 G0-3 A0-3, then interleaved
  // to B G R A per pixel.
  const __m128i planes =
      _mm_packus_epi16(_mm_packs_epi32(blue, red), _mm_packs_epi32(green, _mm_set1_epi32(255)));
  const __m128i pairs = _mm_unpacklo_epi8(planes, _mm_srli_si128(planes, 8));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(pairs, _mm_srli_si128(pairs, 8)));
  return true;
}

// True when the conversions round to nearest, as the fast path needs.
bool roundsToNearest() { return (_mm_getcsr() & _MM_ROUND_MASK) == _MM_ROUND_NEAREST; }

}  // namespace

void planarToHost422(std::span<const std::uint8_t> planar, PictureSize size, std::span<std::uint8_t> frame) {
  const Planes p = planesOf(planar, size);
  need(frame, size.planarBytes() + 4);
  const std::size_t fieldRows = size.height / 2;
  const std::size_t rowBytes = std::size_t{size.width} * 2;
  for (std::size_t r = 0; r < size.height; ++r) {
    std::uint8_t* out = frame.data() + ((r & 1) * fieldRows + r / 2) * rowBytes;
    for (std::size_t m = 0; m < p.chromaWidth; ++m) {
      out[4 * m + 0] = p.cb[r * p.chromaWidth + m];
      out[4 * m + 1] = p.y[r * size.width + 2 * m];
      out[4 * m + 2] = p.cr[r * p.chromaWidth + m];
      out[4 * m + 3] = p.y[r * size.width + 2 * m + 1];
    }
  }
  std::fill_n(frame.data() + size.planarBytes(), 4, std::uint8_t{0});
}

void host422ToPlanar(std::span<const std::uint8_t> frame, PictureSize size, std::span<std::uint8_t> planar) {
  need(frame, size.planarBytes());
  if (planar.size() < size.planarBytes() || size.width % 2 != 0)
    throw std::logic_error("planar picture size");
  const std::size_t luma = std::size_t{size.width} * size.height;
  std::uint8_t* y = planar.data();
  std::uint8_t* cb = y + luma;
  std::uint8_t* cr = cb + luma / 2;
  const std::size_t chromaWidth = size.width / 2u;
  const std::size_t fieldRows = size.height / 2;
  const std::size_t rowBytes = std::size_t{size.width} * 2;
  for (std::size_t r = 0; r < size.height; ++r) {
    const std::uint8_t* in = frame.data() + ((r & 1) * fieldRows + r / 2) * rowBytes;
    for (std::size_t m = 0; m < chromaWidth; ++m) {
      cb[r * chromaWidth + m] = in[4 * m + 0];
      y[r * size.width + 2 * m] = in[4 * m + 1];
      cr[r * chromaWidth + m] = in[4 * m + 2];
      y[r * size.width + 2 * m + 1] = in[4 * m + 3];
    }
  }
}

void planarToHost444(std::span<const std::uint8_t> planar, PictureSize size, std::span<std::uint8_t> frame) {
  const Planes p = planesOf(planar, size);
  need(frame, std::size_t{size.width} * size.height * 4);
  std::uint8_t* out = frame.data();
  for (std::size_t r = 0; r < size.height; ++r) {
    for (std::size_t x = 0; x < size.width; ++x, out += 4) {
      out[0] = p.y[r * size.width + x];
      out[1] = p.cb[r * p.chromaWidth + x / 2];
      out[2] = p.cr[r * p.chromaWidth + x / 2];
      out[3] = 255;
    }
  }
}

void planarToBgra(std::span<const std::uint8_t> planar, PictureSize size, std::span<std::uint8_t> frame) {
  const Planes p = planesOf(planar, size);
  need(frame, std::size_t{size.width} * size.height * 4);
  const bool fast = roundsToNearest();
  for (std::size_t r = 0; r < size.height; ++r) {
    const std::uint8_t* y = p.y + r * size.width;
    const std::uint8_t* cb = p.cb + r * p.chromaWidth;
    const std::uint8_t* cr = p.cr + r * p.chromaWidth;
    std::uint8_t* out = frame.data() + (size.height - 1 - r) * std::size_t{size.width} * 4;
    std::size_t m = 0;
    for (; m + 2 <= p.chromaWidth; m += 2) {
      if (fast && fastQuad(y + 2 * m, cb + m, cr + m, out + 8 * m)) continue;
      exactPair(y + 2 * m, cb[m], cr[m], out + 8 * m);
      exactPair(y + 2 * m + 2, cb[m + 1], cr[m + 1], out + 8 * m + 8);
    }
    for (; m < p.chromaWidth; ++m) exactPair(y + 2 * m, cb[m], cr[m], out + 8 * m);
  }
}

}  // namespace corvane::host
