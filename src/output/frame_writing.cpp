#include "output/frame_writing.h"

#include "pixeltools/value_limits.h"
#include "qvf/frame_transfer.h"

namespace corvane::output {

void limitFrameValues(exports::PixelFormat format, std::span<std::uint8_t> frame) {
  switch (format) {
    case exports::PixelFormat::Ycbcr422:
      return pixeltools::limitYcbcr422InPlace(frame);
    case exports::PixelFormat::Ycbcr444:
      return pixeltools::limitYcbcr444InPlace(frame);
    case exports::PixelFormat::Rgba32:
      return;
  }
}

bool writeFrame(qvf::OpenFileRegistry& registry, const VideoMode& mode, const char* path,
                exports::PixelFormat format, std::span<std::uint8_t> frame) {
  if (frame.data() == nullptr ||
      frame.size() != exports::frameBytes(format, mode.frameWidth, mode.frameHeight))
    return false;
  limitFrameValues(format, frame);
  qvf::OpenFileRegistry::Access entry = registry.access(path);
  // The host's buffer holds the load-time geometry; a file of another one
  // would make the writer read past it or leave part of the file unwritten.
  if (!entry || entry->width != mode.frameWidth || entry->lines * 2 != mode.frameHeight) return false;
  return qvf::writeFrame(*entry, exports::frameLayoutOf(format), frame);
}

}  // namespace corvane::output
