// The file output's logic for frames: the value limits a frame must respect
// before it reaches the file, and appending one frame in any host layout.
#pragma once

#include <cstdint>
#include <span>

#include "engine/video_mode.h"
#include "exports/pixel_format.h"
#include "qvf/registry.h"

namespace corvane::output {

// Caps values at 254 in place, in steps of four bytes: "4:2:2" all four bytes
// (the trailer too), "4:4:4" Y, Cb and Cr but not alpha, "RGBA-32" nothing.
void limitFrameValues(exports::PixelFormat format, std::span<std::uint8_t> frame);

// Appends frame (in the host's layout of format) to the open file path.
// False, with nothing touched, when the frame is not exactly the load-time
// frame size of its format. Otherwise limits the host's own bytes, then gives
// false when the file cannot be opened or its geometry differs from the
// load-time one, else the writer's result (a failed transfer still advances
// the frame counter; a converted frame's failure may come with the next
// frame, see qvf::writeFrame). The registry is entered once; any buffer
// alignment works; the host's buffer is free again on return; nothing is
// allocated once the file is open. Throws EngineError only
// when opening the file evicts one that fails to close.
bool writeFrame(qvf::OpenFileRegistry& registry, const VideoMode& mode, const char* path,
                exports::PixelFormat format, std::span<std::uint8_t> frame);

}  // namespace corvane::output
