// The QVF writer: creating files and appending frames. Frame writes go through
// the registry; every frame write advances the entry's frame counter, whether
// it succeeded or not, so a failed frame leaves its block and the next frame
// goes to the next block.
#pragma once

#include <cstdint>
#include <span>

#include "qvf/file_io.h"
#include "qvf/registry.h"

namespace corvane::qvf {

// Writes the file and stream headers of a new file (truncating any old one)
// and closes it. Throws EngineError with the writer's messages. The caller
// first closes any registry entry of the path. Without a storage, on disk.
void create(Storage& storage, const char* path, std::int32_t videoStreamCount, std::int32_t audioStreamCount,
            std::int32_t width, std::int32_t linesPerField, float frameRate);
void create(const char* path, std::int32_t videoStreamCount, std::int32_t audioStreamCount,
            std::int32_t width, std::int32_t linesPerField, float frameRate);

// "4:2:2" layout: field 0, then field 1 at width x lines x 2. Sector-aligned.
bool writeFrame422(OpenFileRegistry& registry, const char* path, const std::uint8_t* buffer);
// "RGBA-32" layout, bottom-up B G R A.
bool writeFrameBgra(OpenFileRegistry& registry, const char* path, const std::uint8_t* buffer);
// "4:4:4" layout, top-down interleaved Y Cb Cr A.
bool writeFrame444(OpenFileRegistry& registry, const char* path, const std::uint8_t* buffer);
// The same two from a frame of known size: false, with the frame counter left
// alone, when the file's frame needs more than source holds. The geometry is
// checked under the entry's lock, since a file re-created meanwhile may have
// another one.
bool writeFrameBgra(OpenFileRegistry& registry, const char* path, std::span<const std::uint8_t> source);
bool writeFrame444(OpenFileRegistry& registry, const char* path, std::span<const std::uint8_t> source);
// Both fields as captured (width x lines x 4 bytes), at frame block n of the
// entry, with one write. Sector-aligned.
bool appendFrameRaw(OpenFileRegistry& registry, const char* path, const std::uint8_t* buffer);

}  // namespace corvane::qvf
