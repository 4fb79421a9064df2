#include "host/host_pixels.h"

#include <emmintrin.h>

#include <algorithm>
#include <bit>
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

// std::clamp(std::lround(v), 0, 255) without the library call, which cost
// more than the rest of the conversion: after the clamp the fraction
// v - trunc(v) is exact, so halves round up exactly as lround rounds them.
std::uint32_t roundToByte(double v) {
  const double clamped = std::min(std::max(v, 0.0), 255.0);
  const std::int32_t whole = static_cast<std::int32_t>(clamped);
  return static_cast<std::uint32_t>(whole + (clamped - whole >= 0.5 ? 1 : 0));
}

// One opaque pixel, stored as the bytes B G R A.
std::uint32_t bgra(std::uint32_t blue, std::uint32_t green, std::uint32_t red) {
  static_assert(std::endian::native == std::endian::little);
  return blue | green << 8 | red << 16 | 0xFF000000u;
}

// The BT.601 studio-range terms, each computed once with the same double
// arithmetic as a per-pixel evaluation, so the bytes do not change. Blue and
// red depend on two samples only and are looked up whole.
struct BgraTables {
  double luma[256];
  double greenCb[256];
  double greenCr[256];
  std::uint8_t blue[256][256];  // [cb][y]
  std::uint8_t red[256][256];   // [cr][y]
};

const BgraTables& bgraTables() {
  static const BgraTables tables = [] {
    BgraTables t{};
    for (int i = 0; i < 256; ++i) {
      t.luma[i] = 1.164383 * (i - 16);
      t.greenCb[i] = 0.391762 * (i - 128.0);
      t.greenCr[i] = 0.812968 * (i - 128.0);
    }
    for (int c = 0; c < 256; ++c) {
      for (int y = 0; y < 256; ++y) {
        t.blue[c][y] = static_cast<std::uint8_t>(roundToByte(t.luma[y] + 2.017232 * (c - 128.0)));
        t.red[c][y] = static_cast<std::uint8_t>(roundToByte(t.luma[y] + 1.596027 * (c - 128.0)));
      }
    }
    return t;
  }();
  return tables;
}

// Blue, red and alpha of one pixel; green is ORed in at bits 8..15.
std::uint32_t blueRed(const BgraTables& t, std::uint8_t luma, std::uint8_t cb, std::uint8_t cr) {
  return bgra(t.blue[cb][luma], 0, t.red[cr][luma]);
}

// Two pixels sharing one chroma pair, one at a time.
void bgraPair(const BgraTables& t, const std::uint8_t* y, std::uint8_t cb, std::uint8_t cr,
              std::uint8_t* out) {
  for (int i = 0; i < 2; ++i) {
    const std::uint32_t pixel =
        blueRed(t, y[i], cb, cr) | roundToByte(t.luma[y[i]] - t.greenCb[cb] - t.greenCr[cr]) << 8;
    std::memcpy(out + 4 * i, &pixel, 4);
  }
}

// Green of two pixels of a pair, two doubles at a time with the same
// operations as roundToByte, lane by lane: in lanes 0 and 1.
__m128i greenOfPair(const BgraTables& t, const std::uint8_t* y, std::uint8_t cb, std::uint8_t cr) {
  const __m128d luma = _mm_loadh_pd(_mm_load_sd(&t.luma[y[0]]), &t.luma[y[1]]);
  const __m128d v = _mm_sub_pd(_mm_sub_pd(luma, _mm_load1_pd(&t.greenCb[cb])), _mm_load1_pd(&t.greenCr[cr]));
  const __m128d clamped = _mm_min_pd(_mm_max_pd(v, _mm_setzero_pd()), _mm_set1_pd(255.0));
  const __m128i whole = _mm_cvttpd_epi32(clamped);
  const __m128d up = _mm_cmpge_pd(_mm_sub_pd(clamped, _mm_cvtepi32_pd(whole)), _mm_set1_pd(0.5));
  // An all-ones 64-bit lane is -1 in its low 32 bits: subtracting adds one.
  return _mm_sub_epi32(whole, _mm_shuffle_epi32(_mm_castpd_si128(up), _MM_SHUFFLE(3, 3, 2, 0)));
}

// Four pixels, two chroma pairs.
void bgraQuad(const BgraTables& t, const std::uint8_t* y, const std::uint8_t* cb, const std::uint8_t* cr,
              std::uint8_t* out) {
  const __m128i green =
      _mm_unpacklo_epi64(greenOfPair(t, y, cb[0], cr[0]), greenOfPair(t, y + 2, cb[1], cr[1]));
  const __m128i rest = _mm_setr_epi32(
      static_cast<int>(blueRed(t, y[0], cb[0], cr[0])), static_cast<int>(blueRed(t, y[1], cb[0], cr[0])),
      static_cast<int>(blueRed(t, y[2], cb[1], cr[1])), static_cast<int>(blueRed(t, y[3], cb[1], cr[1])));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_or_si128(rest, _mm_slli_epi32(green, 8)));
}

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
  const BgraTables& t = bgraTables();
  for (std::size_t r = 0; r < size.height; ++r) {
    const std::uint8_t* y = p.y + r * size.width;
    const std::uint8_t* cb = p.cb + r * p.chromaWidth;
    const std::uint8_t* cr = p.cr + r * p.chromaWidth;
    std::uint8_t* out = frame.data() + (size.height - 1 - r) * std::size_t{size.width} * 4;
    std::size_t m = 0;
    for (; m + 2 <= p.chromaWidth; m += 2) bgraQuad(t, y + 2 * m, cb + m, cr + m, out + 8 * m);
    for (; m < p.chromaWidth; ++m) bgraPair(t, y + 2 * m, cb[m], cr[m], out + 8 * m);
  }
}

}  // namespace corvane::host
