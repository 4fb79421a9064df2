// Pictures as PNG files, through the system's own imaging library: 8-bit RGB,
// no alpha. Backends in platform/<backend>/picture/ (see picture_window.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/picture_view.h"

namespace corvane::platform {

// Writes picture to path, created or truncated. False when any step fails;
// the file may then hold part of a picture, so callers write to a temporary
// name and rename it.
bool writePngFile(const std::string& path, const PictureView& picture);

// A decoded PNG: 3 bytes R, G, B a pixel, rows top first.
struct RgbImage {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgb;
};

// Reads any PNG the system can decode, converted to 8-bit RGB. False when the
// file is missing, partial or not a PNG; image is then left as it was.
bool readPngFile(const std::string& path, RgbImage& image);

}  // namespace corvane::platform
