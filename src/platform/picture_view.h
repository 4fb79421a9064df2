// A picture handed to the screen or to a file: 32-bit pixels in memory order
// B, G, R, A (the alpha byte unused), rows top first with no gap between them.
#pragma once

#include <cstdint>
#include <span>

namespace corvane::platform {

struct PictureView {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::span<const std::uint8_t> bgra;  // width * height * 4 bytes
};

}  // namespace corvane::platform
