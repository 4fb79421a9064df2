// One frame slot of the record device: one frame's piece of the device's
// page-aligned slot memory (the first field in its first half, the second in
// its second half, exactly as the board delivered them), the frame count of
// its first field, and the link of whichever slot list holds it.
#pragma once

#include <cstdint>
#include <span>

namespace corvane::record {

struct FrameSlot {
  explicit FrameSlot(std::span<std::uint8_t> frame) : pixels(frame) {}

  FrameSlot* next = nullptr;
  std::span<std::uint8_t> pixels;
  std::uint32_t engineCount = 0;
};

}  // namespace corvane::record
