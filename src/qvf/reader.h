// The QVF reader: the frame count, the frame geometry and the frame reads
// that the host's file input uses. The path-named functions follow the
// registry's access protocol (the file is opened on first use, work on it is
// serialised); a caller that already holds an entry works on it directly.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "qvf/frame_transfer.h"
#include "qvf/registry.h"

namespace corvane::qvf {

struct FrameGeometry {
  std::uint32_t width = 0;          // pixels per line
  std::uint32_t linesPerField = 0;  // the frame is twice as high
};

// Geometry of video pair 0, as the entry took it at open.
inline FrameGeometry frameGeometry(const OpenFileEntry& entry) { return {entry.width, entry.lines}; }

// Whole frames in the file now; 0 when it cannot be opened.
std::uint32_t frameCount(OpenFileRegistry& registry, const char* path);

// Geometry of video pair 0; nullopt when the file cannot be opened.
std::optional<FrameGeometry> frameGeometry(OpenFileRegistry& registry, const char* path);

// Frame n in layout (see frame_transfer.h); false when the file cannot be
// opened, the buffer is too small, or a read fails.
bool readFrame(OpenFileRegistry& registry, const char* path, std::uint32_t n, FrameLayout layout,
               std::span<std::uint8_t> buffer);

}  // namespace corvane::qvf
