// The latest picture as a PNG file, for previews that have no display.
#pragma once

#include <string>

#include "frame_picture.h"

namespace corvane::scry {

// Writes picture as an 8-bit RGB PNG at path, through a temporary file beside
// it that is renamed over path: a reader sees the old picture or the new one,
// never half a file. False, with path untouched, when any step fails.
bool writePng(const Picture& picture, const std::string& path);

}  // namespace corvane::scry
