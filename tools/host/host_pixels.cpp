#include "host/host_pixels.h"

#include <algorithm>
#include <cmath>
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

std::uint8_t toByte(double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

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
  for (std::size_t r = 0; r < size.height; ++r) {
    std::uint8_t* out = frame.data() + (size.height - 1 - r) * std::size_t{size.width} * 4;
    for (std::size_t x = 0; x < size.width; ++x, out += 4) {
      const double y = 1.164383 * (p.y[r * size.width + x] - 16);
      const double cb = p.cb[r * p.chromaWidth + x / 2] - 128.0;
      const double cr = p.cr[r * p.chromaWidth + x / 2] - 128.0;
      out[0] = toByte(y + 2.017232 * cb);
      out[1] = toByte(y - 0.391762 * cb - 0.812968 * cr);
      out[2] = toByte(y + 1.596027 * cr);
      out[3] = 255;
    }
  }
}

}  // namespace corvane::host
