// One frame slot of the record device: a page-aligned buffer of one frame
// (the first field in its first half, the second in its second half, exactly
// as the board delivered them), the frame count of its first field, and the
// link of whichever slot list holds it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/memory.h"

namespace corvane::record {

struct FrameSlot {
  // Throws std::bad_alloc when the memory is refused.
  explicit FrameSlot(std::size_t frameBytes) : pixels(frameBytes) {}

  FrameSlot* next = nullptr;
  platform::PageBuffer pixels;
  std::uint32_t engineCount = 0;
};

}  // namespace corvane::record
