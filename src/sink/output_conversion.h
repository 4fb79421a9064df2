// The playback thread's conversions of a queued frame into the board's output
// frame: 720 x lines pixels of 4:2:2 (Cb Y Cr Y), the first field's lines
// (0, 2, 4, ...) first, then the second field's (1, 3, 5, ...).
#pragma once

#include <cstdint>
#include <span>

#include "sink/frame_pool.h"

namespace corvane::sink {

inline constexpr std::uint32_t kOutputWidth = 720;
inline constexpr std::size_t kOutputLineBytes = kOutputWidth * 2;

constexpr std::size_t outputFrameBytes(std::uint32_t lines) { return kOutputLineBytes * lines; }

// source holds a frame of the layout (at least lines x 720 x 4 bytes for
// Yuv444 and Rgba32, lines x 1440 for Yuv422); output is
// outputFrameBytes(lines) bytes. lines is even.
void convertToOutput(SourceLayout layout, std::span<const std::uint8_t> source,
                     std::span<std::uint8_t> output, std::uint32_t lines);

}  // namespace corvane::sink
