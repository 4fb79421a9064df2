// Conversions between planar 4:2:2 pictures (the y4m layout: Y plane, then
// Cb and Cr at half width) and the three frame layouts the plug-in exchanges
// with a host. W must be even; H is the whole frame, two fields.
//
// "4:2:2": field 0 (display rows 0, 2, 4, ...) then field 1 (rows 1, 3, ...),
// each row Cb Y0 Cr Y1 macropixels, then a 4-byte trailer.
// "4:4:4": top-down rows of Y Cb Cr A. "RGBA-32": bottom-up rows of B G R A.
#pragma once

#include <cstdint>
#include <span>

namespace corvane::host {

struct PictureSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::size_t planarBytes() const { return std::size_t{width} * height * 2; }
};

// planar -> "4:2:2" (2 x W x H + 4 bytes; the trailer is written as 0).
void planarToHost422(std::span<const std::uint8_t> planar, PictureSize size, std::span<std::uint8_t> frame);
// "4:2:2" (at least 2 x W x H bytes) -> planar.
void host422ToPlanar(std::span<const std::uint8_t> frame, PictureSize size, std::span<std::uint8_t> planar);
// planar -> "4:4:4", both pixels of a pair carrying the pair's chroma, alpha 255.
void planarToHost444(std::span<const std::uint8_t> planar, PictureSize size, std::span<std::uint8_t> frame);
// planar -> "RGBA-32" with the BT.601 studio-range matrix, rounded to nearest
// and clamped to 0..255; alpha 255.
void planarToBgra(std::span<const std::uint8_t> planar, PictureSize size, std::span<std::uint8_t> frame);

}  // namespace corvane::host
