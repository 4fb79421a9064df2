// The two video standards the board carries, and what each fixes: lines per
// field, samples per line in FrameInfo, and the field rate.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane::board {

enum class VideoStandard : std::uint8_t { Ntsc, Pal };  // 525 and 625 lines

// Which field of a frame: the first holds the frame's even lines.
enum class FieldParity : std::uint8_t { First = 0, Second = 1 };

// numerator / denominator fields a second, kept as a fraction so that 59.94 Hz
// is exactly 60000/1001 however long the board runs.
struct FieldRate {
  std::uint64_t numerator = 0;
  std::uint64_t denominator = 1;
  bool operator==(const FieldRate&) const = default;

  static constexpr FieldRate of(VideoStandard standard) {
    return standard == VideoStandard::Pal ? FieldRate{50, 1} : FieldRate{60000, 1001};
  }
};

inline constexpr std::uint32_t kPixelsPerLine = 720;

constexpr std::uint32_t linesPerField(VideoStandard standard) {
  return standard == VideoStandard::Pal ? 288 : 240;
}

// A 4:2:2 field: two bytes a pixel.
constexpr std::size_t fieldBytes(VideoStandard standard) {
  return std::size_t{kPixelsPerLine} * linesPerField(standard) * 2;
}

// FrameInfo bytes 32-35: the board's sampling of a whole line, blanking included.
constexpr std::uint32_t samplesPerLine(VideoStandard standard) {
  return standard == VideoStandard::Pal ? 1728 : 1716;
}

}  // namespace corvane::board
