#include "qvf/writer.h"

#include <array>
#include <memory>

#include "engine/error.h"
#include "qvf/container.h"

namespace corvane::qvf {
namespace {

template <std::size_t N>
void writeItem(HeaderFile& file, const std::array<std::uint8_t, N>& bytes) {
  if (!file.write(bytes)) throw EngineError("Cannot write to output file.");
}

}  // namespace

void create(Storage& storage, const char* path, std::int32_t videoStreamCount, std::int32_t audioStreamCount,
            std::int32_t width, std::int32_t linesPerField, float frameRate) {
  const std::unique_ptr<HeaderFile> file = storage.openHeaderFile(path, HeaderMode::Create);
  if (!file) throw EngineError("Cannot open file for output.");
  if (audioStreamCount != 0) {
    file->close();
    throw EngineError("Currently audio stream writing is not supported.");
  }
  const std::uint32_t chunkSize = chunkSizeFor(width, linesPerField);

  QvfFileHeader header;
  header.streamCount = static_cast<std::uint32_t>(videoStreamCount);
  header.frameBlockSize = static_cast<std::uint32_t>(videoStreamCount) * chunkSize;
  header.fieldRate = 2.0f * frameRate;
  writeItem(*file, header.encode());

  for (std::int32_t i = 0; i < videoStreamCount; ++i) {
    const RasterPlacement raster = rasterPlacementFor(linesPerField, i);
    QvfStreamHeader stream;
    stream.streamType = static_cast<std::int16_t>(StreamType::Video);
    stream.subtype = kVideoSubtype422;
    stream.chunkSize = chunkSize;
    stream.rasterOffset = raster.rasterOffset;
    stream.linePitch = raster.linePitch;
    stream.activeLineBytes = static_cast<std::uint32_t>(width) * 2;
    stream.lines = static_cast<std::uint32_t>(linesPerField);
    writeItem(*file, stream.encode());
  }

  if (!file->seek(kWrittenDataOffset)) throw EngineError("Cannot move to the correct position in the file.");
  if (!file->close()) throw EngineError("Could not close file pointer.");
}

void create(const char* path, std::int32_t videoStreamCount, std::int32_t audioStreamCount,
            std::int32_t width, std::int32_t linesPerField, float frameRate) {
  create(diskStorage(), path, videoStreamCount, audioStreamCount, width, linesPerField, frameRate);
}

bool writeFrame(OpenFileRegistry& registry, const char* path, FrameLayout layout,
                std::span<const std::uint8_t> source) {
  OpenFileRegistry::Access entry = registry.access(path);
  return entry && writeFrame(*entry, layout, source);
}

bool appendFrameRaw(OpenFileRegistry& registry, const char* path, std::span<const std::uint8_t> frame) {
  OpenFileRegistry::Access entry = registry.access(path);
  return entry && appendFrameRaw(*entry, frame);
}

}  // namespace corvane::qvf
