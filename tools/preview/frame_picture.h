// A monitor frame as a picture: the two fields woven back into lines and
// decoded to 32-bit B, G, R, A, the order both the window and the PNG take.
#pragma once

#include <cstdint>
#include <vector>

#include "board/monitor_reader.h"
#include "platform/picture_view.h"

namespace corvane::scry {

struct Picture {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> bgra;  // width * 4 bytes a row, top row first

  platform::PictureView view() const { return {width, height, bgra}; }
};

// frame.pixels holds the first field's rows (the picture's even lines), then
// the second field's rows.
void decodeFrame(const board::MonitorFrame& frame, Picture& picture);

}  // namespace corvane::scry
