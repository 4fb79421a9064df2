#include "frame_picture.h"

#include "engine/pixeltools.h"

namespace corvane::scry {

void decodeFrame(const board::MonitorFrame& frame, Picture& picture) {
  const std::uint32_t width = board::kMonitorWidth;
  const std::uint32_t fieldLines = frame.lines / 2;
  const std::size_t sourceRow = std::size_t{width} * 2;
  picture.width = width;
  picture.height = frame.lines;
  picture.bgra.resize(std::size_t{width} * 4 * frame.lines);
  for (std::uint32_t line = 0; line < frame.lines; ++line) {
    const std::uint32_t field = line % 2;
    const std::uint8_t* source = frame.pixels.data() + (field * fieldLines + line / 2) * sourceRow;
    decode_ycbcr8_bgra(picture.bgra.data() + std::size_t{line} * width * 4, source, width);
  }
}

}  // namespace corvane::scry
