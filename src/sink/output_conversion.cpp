#include "sink/output_conversion.h"

#include <cstring>

#include "engine/pixeltools.h"

namespace corvane::sink {
namespace {

constexpr std::size_t kSourceRowBytes = std::size_t{kOutputWidth} * 4;

// Y Cb Cr x pixel pairs to Cb Y Cr Y: the second pixel gives only its luma.
void packRow444(std::uint8_t* line, const std::uint8_t* row) {
  for (std::uint32_t pair = 0; pair < kOutputWidth / 2; ++pair, row += 8, line += 4) {
    line[0] = row[1];
    line[1] = row[0];
    line[2] = row[2];
    line[3] = row[4];
  }
}

void convert444(const std::uint8_t* source, std::uint8_t* output, std::uint32_t lines) {
  std::uint8_t* second = output + kOutputLineBytes * (lines / 2);
  for (std::uint32_t pair = 0; pair < lines / 2; ++pair) {
    packRow444(output + kOutputLineBytes * pair, source + kSourceRowBytes * (2 * pair));
    packRow444(second + kOutputLineBytes * pair, source + kSourceRowBytes * (2 * pair + 1));
  }
}

// Bottom row first: image line 0 is the last source row.
void convertRgba(const std::uint8_t* source, std::uint8_t* output, std::uint32_t lines) {
  const std::uint32_t firstField = lines / 2;
  for (std::uint32_t line = 0; line < lines; ++line) {
    const std::uint32_t row = line < firstField ? lines - 1 - 2 * line : lines - 2 - 2 * (line - firstField);
    encode_bgra_ycbcr8(output + kOutputLineBytes * line, source + kSourceRowBytes * row, kOutputWidth);
  }
}

}  // namespace

void convertToOutput(SourceLayout layout, std::span<const std::uint8_t> source,
                     std::span<std::uint8_t> output, std::uint32_t lines) {
  switch (layout) {
    case SourceLayout::Yuv422:
      std::memcpy(output.data(), source.data(), outputFrameBytes(lines));
      return;
    case SourceLayout::Yuv444:
      convert444(source.data(), output.data(), lines);
      return;
    case SourceLayout::Rgba32:
      convertRgba(source.data(), output.data(), lines);
      return;
  }
}

}  // namespace corvane::sink
