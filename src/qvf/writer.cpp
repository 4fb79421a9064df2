#include "qvf/writer.h"

#include <array>
#include <memory>

#include "engine/error.h"
#include "pixeltools/field_rows.h"
#include "qvf/container.h"

namespace corvane::qvf {
namespace {

constexpr std::uint32_t kLastAddressableFrame = 0x7FFF'FFFF;

template <std::size_t N>
void writeItem(HeaderFile& file, const std::array<std::uint8_t, N>& bytes) {
  if (!file.write(bytes)) throw EngineError("Cannot write to output file.");
}

// Frame n of the entry from the chunk buffers of pair 0 after fill() has put
// both fields there; the counter advances whatever happens.
template <class Fill>
bool writeConverted(OpenFileEntry& entry, Fill fill) {
  QvfStream& stream = *entry.stream;
  const std::uint32_t n = entry.frameCounter++;
  if (n > kLastAddressableFrame) return false;
  std::uint8_t* field0 = stream.contextBuffer(2 * n, 0);
  std::uint8_t* field1 = stream.contextBuffer(2 * n + 1, 0);
  const std::uint64_t fieldBytes = std::uint64_t{entry.width} * entry.lines * 2;
  if (fieldBytes > stream.video(0)->chunkBuffer.size() || fieldBytes > stream.video(1)->chunkBuffer.size())
    return false;
  fill(field0, field1, pixeltools::FieldGeometry{entry.width, entry.lines});
  return stream.writeFieldFromContext(2 * n, 0) && stream.writeFieldFromContext(2 * n + 1, 0);
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

bool writeFrame422(OpenFileRegistry& registry, const char* path, const std::uint8_t* buffer) {
  OpenFileRegistry::Access entry = registry.access(path);
  if (!entry) return false;
  QvfStream& stream = *entry->stream;
  const std::uint32_t n = entry->frameCounter++;
  if (n > kLastAddressableFrame) return false;
  return stream.writeField(2 * n, 0, buffer) && stream.writeField(2 * n + 1, 0, buffer + entry->fieldBytes);
}

bool writeFrameBgra(OpenFileRegistry& registry, const char* path, const std::uint8_t* buffer) {
  OpenFileRegistry::Access entry = registry.access(path);
  if (!entry) return false;
  return writeConverted(*entry,
                        [buffer](std::uint8_t* field0, std::uint8_t* field1, pixeltools::FieldGeometry g) {
                          pixeltools::fieldsFromBgra(buffer, field0, field1, g);
                        });
}

bool writeFrame444(OpenFileRegistry& registry, const char* path, const std::uint8_t* buffer) {
  OpenFileRegistry::Access entry = registry.access(path);
  if (!entry) return false;
  return writeConverted(*entry,
                        [buffer](std::uint8_t* field0, std::uint8_t* field1, pixeltools::FieldGeometry g) {
                          pixeltools::fieldsFrom444(buffer, field0, field1, g);
                        });
}

namespace {

bool holdsConvertedFrame(const OpenFileEntry& entry, std::span<const std::uint8_t> source) {
  return std::uint64_t{entry.width} * entry.lines * 8 <= source.size();
}

}  // namespace

bool writeFrameBgra(OpenFileRegistry& registry, const char* path, std::span<const std::uint8_t> source) {
  OpenFileRegistry::Access entry = registry.access(path);
  if (!entry || !holdsConvertedFrame(*entry, source)) return false;
  return writeConverted(*entry,
                        [&source](std::uint8_t* field0, std::uint8_t* field1, pixeltools::FieldGeometry g) {
                          pixeltools::fieldsFromBgra(source.data(), field0, field1, g);
                        });
}

bool writeFrame444(OpenFileRegistry& registry, const char* path, std::span<const std::uint8_t> source) {
  OpenFileRegistry::Access entry = registry.access(path);
  if (!entry || !holdsConvertedFrame(*entry, source)) return false;
  return writeConverted(*entry,
                        [&source](std::uint8_t* field0, std::uint8_t* field1, pixeltools::FieldGeometry g) {
                          pixeltools::fieldsFrom444(source.data(), field0, field1, g);
                        });
}

bool appendFrameRaw(OpenFileRegistry& registry, const char* path, const std::uint8_t* buffer) {
  OpenFileRegistry::Access entry = registry.access(path);
  if (!entry) return false;
  QvfStream& stream = *entry->stream;
  const std::uint32_t n = entry->frameCounter++;
  const std::uint64_t frameBytes = std::uint64_t{entry->fieldBytes} * 2;
  if (frameBytes > 0xFFFF'FFFF) return false;
  // After a reopen the handle stands at offset 0, not at frame block n: the
  // append must never land on the headers.
  const std::uint64_t target = chunkPosition(stream.header().dataOffset, stream.header().frameBlockSize, n);
  return stream.file().placeFilePointer(target) &&
         stream.file().writeUnpositioned(buffer, static_cast<std::uint32_t>(frameBytes));
}

}  // namespace corvane::qvf
