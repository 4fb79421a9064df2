// The QVF writer: creating files, and appending frames by path through the
// registry. Every frame write advances the entry's frame counter, whether it
// succeeded or not, so a failed frame leaves its block and the next frame
// goes to the next block.
#pragma once

#include <cstdint>
#include <span>

#include "qvf/file_io.h"
#include "qvf/frame_transfer.h"
#include "qvf/registry.h"

namespace corvane::qvf {

// Writes the file and stream headers of a new file (truncating any old one)
// and closes it. Throws EngineError with the writer's messages. The caller
// first closes any registry entry of the path. Without a storage, on disk.
void create(Storage& storage, const char* path, std::int32_t videoStreamCount, std::int32_t audioStreamCount,
            std::int32_t width, std::int32_t linesPerField, float frameRate);
void create(const char* path, std::int32_t videoStreamCount, std::int32_t audioStreamCount,
            std::int32_t width, std::int32_t linesPerField, float frameRate);

// The entry's next frame from source in layout (see frame_transfer.h); false
// when the file cannot be opened, the source is too small, or a write fails.
bool writeFrame(OpenFileRegistry& registry, const char* path, FrameLayout layout,
                std::span<const std::uint8_t> source);
// Both fields as captured (width x lines x 4 bytes), at frame block n of the
// entry, with one write. Sector-aligned.
bool appendFrameRaw(OpenFileRegistry& registry, const char* path, std::span<const std::uint8_t> frame);

}  // namespace corvane::qvf
