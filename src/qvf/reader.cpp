#include "qvf/reader.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <new>
#include <string_view>

#include "engine/error.h"
#include "pixeltools/field_rows.h"
#include "platform/file.h"

namespace corvane::qvf {
namespace {

// Frames from 2^31 on have no 32-bit field number.
constexpr std::uint32_t kLastAddressableFrame = 0x7FFF'FFFF;
// Stream headers are read into a vector that grows as they arrive, so a huge
// count in a short file fails on the read, not on one enormous allocation.
constexpr std::size_t kStreamHeaderReserve = 64;

template <std::size_t N>
bool readItem(std::FILE* file, std::array<std::uint8_t, N>& bytes) {
  return std::fread(bytes.data(), N, 1, file) == 1;
}

void readStreamHeaders(std::FILE* file, QvfStream& stream) {
  const auto count = static_cast<std::int32_t>(stream.header.streamCount);
  try {
    if (count < 0) throw std::bad_alloc();
    stream.streamHeaders.reserve(
        std::min<std::size_t>(static_cast<std::size_t>(count), kStreamHeaderReserve));
  } catch (const std::bad_alloc&) {
    throw EngineError("Cannot allocate required memory.");
  }
  std::array<std::uint8_t, QvfStreamHeader::kSize> bytes;
  for (std::int32_t i = 0; i < count; ++i) {
    if (!readItem(file, bytes)) throw EngineError("Cannot read input stream header.");
    try {
      stream.streamHeaders.push_back(QvfStreamHeader::decode(bytes));
    } catch (const std::bad_alloc&) {
      throw EngineError("Cannot allocate required memory.");
    }
  }
}

void countStreams(QvfStream& stream) {
  for (const QvfStreamHeader& header : stream.streamHeaders) {
    if (header.is(StreamType::Invalid)) throw EngineError("Unknown Video Streaming Type");
    if (header.is(StreamType::Video)) ++stream.videoStreamCount;
    if (header.is(StreamType::Audio)) ++stream.audioStreamCount;
  }
  if (stream.audioStreamCount % 2 != 0)
    throw EngineError("There are an odd number of audio streams in the QVF file.");
  if (stream.videoStreamCount % 2 != 0)
    throw EngineError("There are an odd number of video streams in the QVF file.");
}

void makeContexts(QvfStream& stream) {
  // Audio contexts are never made: any audio stream refuses the file below.
  try {
    stream.videoContexts.reserve(static_cast<std::size_t>(stream.videoStreamCount));
  } catch (const std::bad_alloc&) {
    throw EngineError("Cannot allocate required video memory for stream context.");
  }
  std::uint32_t offset = stream.header.dataOffset;
  for (const QvfStreamHeader& header : stream.streamHeaders) {
    if (header.is(StreamType::Audio)) throw EngineError("Unknown Audio SubType");
    if (!header.is(StreamType::Video)) continue;  // other types take no room in the addressing
    if (header.subtype != kVideoSubtype422) throw EngineError("Unknown Video SubType");
    // Checked before the chunk buffer is allocated rather than after: a bogus
    // size must not cost a huge allocation first.
    if (header.chunkSize % stream.sectorSize != 0) throw EngineError("Invalid chunk size in video stream.");
    try {
      stream.videoContexts.push_back(
          std::make_unique<VideoStreamContext>(header, offset, stream.header.frameBlockSize));
    } catch (const std::bad_alloc&) {
      throw EngineError("Cannot allocate required video memory for stream context.");
    }
    offset += header.chunkSize;
  }
}

bool addressable(std::uint32_t n) { return n <= kLastAddressableFrame; }

// For fields this small a read ahead costs more than it saves.
constexpr std::uint64_t kReadAheadMinimumFieldBytes = 64 * 1024;

// Both fields of frame n into the chunk buffers of pair 0. Where the two
// chunks lie side by side on disk, one request fills both: the device costs
// per request far more than per byte. Otherwise, or when that read fails, one
// read each, the second tried even when the first failed.
bool readBothFields(QvfStream& stream, std::uint32_t n) {
  VideoStreamContext& first = *stream.video(0);
  VideoStreamContext& second = *stream.video(1);
  const std::uint64_t at = first.positionOf(n);
  if (second.positionOf(n) == at + first.chunkSize &&
      stream.file.readAt(at, std::span(first.chunkBuffer.data(), first.chunkSize),
                         std::span(second.chunkBuffer.data(), second.chunkSize)))
    return true;
  const bool firstRead = stream.readFieldIntoContext(2 * n, 0) != nullptr;
  const bool secondRead = stream.readFieldIntoContext(2 * n + 1, 0) != nullptr;
  return firstRead && secondRead;
}

// Frame n of pair 0 into destination. Both fields come into the chunk
// buffers, read ahead during the previous call where the host reads frame
// after frame; the read of the next frame then starts on the helper thread
// and runs while this one converts, so a sequential reader waits for the disk
// or for the conversion, whichever is slower, not for both. On failure the
// destination may hold part of the frame.
bool readConverted(OpenFileEntry& entry, std::uint32_t n, std::uint8_t* destination,
                   pixeltools::FrameLayout layout) {
  QvfStream& stream = *entry.stream;
  if (!addressable(n)) return false;
  const pixeltools::FieldGeometry geometry{entry.width, entry.lines};
  const std::uint64_t fieldBytes = std::uint64_t{entry.width} * entry.lines * 2;
  if (fieldBytes > stream.video(0)->chunkBuffer.size() || fieldBytes > stream.video(1)->chunkBuffer.size())
    return false;  // the header's geometry does not fit its chunks
  BackgroundJob* helper = fieldBytes >= kReadAheadMinimumFieldBytes ? stream.backgroundJob() : nullptr;
  ReadAhead* ahead = helper != nullptr ? stream.readAhead() : nullptr;
  stream.settleHelper();
  const bool readAlready = ahead != nullptr && ahead->take(stream, n);
  if (!readAlready && !readBothFields(stream, n)) return false;
  if (ahead != nullptr && std::uint64_t{n} + 1 < stream.frameCount()) ahead->start(*helper, stream, n + 1);
  pixeltools::fieldRowsToFrame(layout, stream.video(0)->chunkBuffer.data(), 0, destination, geometry, 0,
                               geometry.lines);
  pixeltools::fieldRowsToFrame(layout, stream.video(1)->chunkBuffer.data(), 1, destination, geometry, 0,
                               geometry.lines);
  return true;
}

}  // namespace

bool isQvfFile(const char* path) {
  platform::BufferedFile file = platform::BufferedFile::open(path, "rb");
  if (!file) return false;
  char magic[4];
  for (char& c : magic) {
    const int got = std::fgetc(file.get());
    if (got == EOF) return false;
    c = static_cast<char>(got);
  }
  return std::string_view(magic, 4) == "FMTR";
}

std::unique_ptr<QvfStream> openQvfStream(const char* path) {
  platform::BufferedFile file = platform::BufferedFile::open(path, "r+b");
  if (!file) file = platform::BufferedFile::open(path, "rb");
  if (!file) throw EngineError("Could not open the file.");

  auto stream = std::make_unique<QvfStream>();
  std::array<std::uint8_t, QvfFileHeader::kSize> headerBytes;
  if (!readItem(file.get(), headerBytes)) throw EngineError("Could not read file header.");
  stream->header = QvfFileHeader::decode(headerBytes);
  if (stream->header.magic != kQvfMagic) throw EngineError("This is not an QVF file.");
  if (stream->header.fileType != kQvfFileType)
    throw EngineError("This reader can only read QVF type 1 files.");
  if (stream->header.streamCount == 0) throw EngineError("There are no streams in the file.");

  readStreamHeaders(file.get(), *stream);
  countStreams(*stream);
  stream->sectorSize = kSectorSize;
  makeContexts(*stream);

  if (!file.close()) throw EngineError("Could not close file pointer.");
  stream->file.open(path);
  return stream;
}

std::uint32_t frameCount(OpenFileRegistry& registry, const char* path) {
  OpenFileRegistry::Access entry = registry.access(path);
  if (!entry) return 0;
  return entry->stream->frameCount();
}

std::optional<FrameGeometry> frameGeometry(OpenFileRegistry& registry, const char* path) {
  OpenFileRegistry::Access entry = registry.access(path);
  if (!entry) return std::nullopt;
  return FrameGeometry{entry->width, entry->lines};
}

bool readFrame422(OpenFileRegistry& registry, const char* path, std::uint32_t n, std::uint8_t* buffer) {
  OpenFileRegistry::Access entry = registry.access(path);
  if (!entry || !addressable(n)) return false;
  QvfStream& stream = *entry->stream;
  // When the two chunks lie side by side on disk and in the buffer (a field
  // that fills its chunk), one transfer moves both: the device sees one
  // request instead of two in turn. Any failure falls back to two reads.
  const VideoStreamContext* field0 = stream.video(0);
  const VideoStreamContext* field1 = stream.video(1);
  const std::uint64_t both = std::uint64_t{field0->chunkSize} + field1->chunkSize;
  if (entry->fieldBytes == field0->chunkSize && both <= 0xFFFF'FFFF &&
      field1->positionOf(n) == field0->positionOf(n) + field0->chunkSize &&
      stream.file.readAt(field0->positionOf(n), buffer, static_cast<std::uint32_t>(both)))
    return true;
  const bool first = stream.readField(2 * n, 0, buffer);
  const bool second = stream.readField(2 * n + 1, 0, buffer + entry->fieldBytes);
  return first && second;
}

bool readFrameBgra(OpenFileRegistry& registry, const char* path, std::uint32_t n, std::uint8_t* buffer) {
  OpenFileRegistry::Access entry = registry.access(path);
  return entry && readConverted(*entry, n, buffer, pixeltools::FrameLayout::Bgra32);
}

bool readFrame444(OpenFileRegistry& registry, const char* path, std::uint32_t n, std::uint8_t* buffer) {
  OpenFileRegistry::Access entry = registry.access(path);
  return entry && readConverted(*entry, n, buffer, pixeltools::FrameLayout::Ycbcr444);
}

namespace {

bool holdsConvertedFrame(const OpenFileEntry& entry, std::span<std::uint8_t> buffer) {
  return std::uint64_t{entry.width} * entry.lines * 8 <= buffer.size();
}

}  // namespace

bool readFrameBgra(OpenFileRegistry& registry, const char* path, std::uint32_t n,
                   std::span<std::uint8_t> buffer) {
  OpenFileRegistry::Access entry = registry.access(path);
  return entry && holdsConvertedFrame(*entry, buffer) &&
         readConverted(*entry, n, buffer.data(), pixeltools::FrameLayout::Bgra32);
}

bool readFrame444(OpenFileRegistry& registry, const char* path, std::uint32_t n,
                  std::span<std::uint8_t> buffer) {
  OpenFileRegistry::Access entry = registry.access(path);
  return entry && holdsConvertedFrame(*entry, buffer) &&
         readConverted(*entry, n, buffer.data(), pixeltools::FrameLayout::Ycbcr444);
}

}  // namespace corvane::qvf
