// The board's generated input picture: 75% colour bars over the top two
// thirds, a white box that moves 4 pixels a field across a black band, and the
// frame number in 32 black and white blocks along the bottom, so that a
// recording shows which frames it holds. 4:2:2 as the board carries it
// (Cb Y Cr Y), at legal levels only: Y 16-235, Cb and Cr 16-240. A pure
// function of its arguments: the same frame and field give the same bytes.
#pragma once

#include <cstdint>
#include <span>

#include "board/video_standard.h"

namespace corvane::board {

// What to draw: the whole field, or only the bottom third that changes from
// field to field (the bars above stay as an earlier whole drawing left them),
// which lets the input keep up with fast rates.
enum class PatternPart : std::uint8_t { Whole, Moving };

// Fills field of frame into out, which must hold fieldBytes(standard) bytes
// (std::invalid_argument otherwise). The field holds the frame's even lines
// (first) or odd lines (second).
void drawTestPatternField(VideoStandard standard, std::uint32_t frame, FieldParity field,
                          std::span<std::uint8_t> out, PatternPart part = PatternPart::Whole);

}  // namespace corvane::board
