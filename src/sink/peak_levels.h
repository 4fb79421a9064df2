// Video that the host queues to be shown at once (time 0) keeps clear of the
// level 255, which the board's 8-bit interface reserves for timing codes:
// every such byte is lowered to 254.
#pragma once

#include <cstdint>
#include <span>

namespace corvane::sink {

// Over whole 4-byte groups while a group starts within dataSize bytes (the
// last group may run up to 3 bytes past it); within each group the first
// bytesPerGroup bytes (3 leaves a 4:4:4 pixel's fourth byte alone). Nothing
// beyond buffer is touched.
void lowerPeakBytes(std::span<std::uint8_t> buffer, std::size_t dataSize, std::size_t bytesPerGroup);

}  // namespace corvane::sink
