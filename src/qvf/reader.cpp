#include "qvf/reader.h"

#include <algorithm>
#include <array>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/error.h"
#include "pixeltools/field_rows.h"

namespace corvane::qvf {
namespace {

// Frames from 2^31 on have no 32-bit field number.
constexpr std::uint32_t kLastAddressableFrame = 0x7FFF'FFFF;
// Stream headers are read into a vector that grows as they arrive, so a huge
// count in a short file fails on the read, not on one enormous allocation.
constexpr std::size_t kStreamHeaderReserve = 64;

template <std::size_t N>
bool readItem(HeaderFile& file, std::array<std::uint8_t, N>& bytes) {
  return file.read(bytes) == N;
}

std::vector<QvfStreamHeader> readStreamHeaders(HeaderFile& file, const QvfFileHeader& header) {
  const auto count = static_cast<std::int32_t>(header.streamCount);
  std::vector<QvfStreamHeader> headers;
  try {
    if (count < 0) throw std::bad_alloc();
    headers.reserve(std::min<std::size_t>(static_cast<std::size_t>(count), kStreamHeaderReserve));
  } catch (const std::bad_alloc&) {
    throw EngineError("Cannot allocate required memory.");
  }
  std::array<std::uint8_t, QvfStreamHeader::kSize> bytes;
  for (std::int32_t i = 0; i < count; ++i) {
    if (!readItem(file, bytes)) throw EngineError("Cannot read input stream header.");
    try {
      headers.push_back(QvfStreamHeader::decode(bytes));
    } catch (const std::bad_alloc&) {
      throw EngineError("Cannot allocate required memory.");
    }
  }
  return headers;
}

// The audio stream count; refuses the counts no file may have.
std::int32_t countStreams(const std::vector<QvfStreamHeader>& headers) {
  std::int32_t audio = 0;
  std::int32_t video = 0;
  for (const QvfStreamHeader& header : headers) {
    if (header.is(StreamType::Invalid)) throw EngineError("Unknown Video Streaming Type");
    if (header.is(StreamType::Video)) ++video;
    if (header.is(StreamType::Audio)) ++audio;
  }
  if (audio % 2 != 0) throw EngineError("There are an odd number of audio streams in the QVF file.");
  if (video % 2 != 0) throw EngineError("There are an odd number of video streams in the QVF file.");
  return audio;
}

// Bytes a video stream's field needs in its chunk, rounded up to sectors.
std::uint64_t fieldSectorBytes(const QvfStreamHeader& header) {
  const std::int32_t width = widthOf(header);
  const std::uint64_t field = width > 0 ? std::uint64_t(std::uint32_t(width)) * header.lines * 2 : 0;
  return (field + kSectorSize - 1) / kSectorSize * kSectorSize;
}

std::vector<std::unique_ptr<VideoStreamContext>> makeContexts(const QvfFileHeader& file,
                                                              const std::vector<QvfStreamHeader>& headers) {
  // Audio contexts are never made: any audio stream refuses the file below.
  std::vector<std::unique_ptr<VideoStreamContext>> contexts;
  std::uint32_t offset = file.dataOffset;
  std::uint64_t claimed = 0;
  for (const QvfStreamHeader& header : headers) {
    if (header.is(StreamType::Audio)) throw EngineError("Unknown Audio SubType");
    if (!header.is(StreamType::Video)) continue;  // other types take no room in the addressing
    if (header.subtype != kVideoSubtype422) throw EngineError("Unknown Video SubType");
    // Both checked before the chunk buffer exists: a hostile header must not
    // cost a huge allocation first, nor every read a huge transfer after.
    if (header.chunkSize % kSectorSize != 0 || header.chunkSize > fieldSectorBytes(header) + kMaxChunkPadding)
      throw EngineError("Invalid chunk size in video stream.");
    claimed += header.chunkSize;
    if (claimed > kMaxChunkBuffersPerFile)
      throw EngineError("Cannot allocate required video memory for stream context.");
    try {
      contexts.push_back(std::make_unique<VideoStreamContext>(header, offset, file.frameBlockSize));
    } catch (const std::bad_alloc&) {
      throw EngineError("Cannot allocate required video memory for stream context.");
    }
    offset += header.chunkSize;
  }
  return contexts;
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
      stream.file().readAt(at, std::span(first.chunkBuffer.data(), first.chunkSize),
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

bool isQvfFile(Storage& storage, const char* path) {
  const std::unique_ptr<HeaderFile> file = storage.openHeaderFile(path, HeaderMode::Read);
  if (!file) return false;
  std::array<std::uint8_t, 4> magic;
  if (!readItem(*file, magic)) return false;
  return std::string_view(reinterpret_cast<const char*>(magic.data()), magic.size()) == "FMTR";
}

bool isQvfFile(const char* path) { return isQvfFile(diskStorage(), path); }

std::unique_ptr<QvfStream> openQvfStream(Storage& storage, const char* path) {
  std::unique_ptr<HeaderFile> file = storage.openHeaderFile(path, HeaderMode::ReadWrite);
  if (!file) file = storage.openHeaderFile(path, HeaderMode::Read);
  if (!file) throw EngineError("Could not open the file.");

  std::array<std::uint8_t, QvfFileHeader::kSize> headerBytes;
  if (!readItem(*file, headerBytes)) throw EngineError("Could not read file header.");
  const QvfFileHeader header = QvfFileHeader::decode(headerBytes);
  if (header.magic != kQvfMagic) throw EngineError("This is not an QVF file.");
  if (header.fileType != kQvfFileType) throw EngineError("This reader can only read QVF type 1 files.");
  if (header.streamCount == 0) throw EngineError("There are no streams in the file.");

  std::vector<QvfStreamHeader> streamHeaders = readStreamHeaders(*file, header);
  const std::int32_t audioStreamCount = countStreams(streamHeaders);
  std::vector<std::unique_ptr<VideoStreamContext>> contexts = makeContexts(header, streamHeaders);

  if (!file->close()) throw EngineError("Could not close file pointer.");
  auto stream =
      std::make_unique<QvfStream>(header, std::move(streamHeaders), audioStreamCount, std::move(contexts));
  stream->file().open(storage, path);
  return stream;
}

std::unique_ptr<QvfStream> openQvfStream(const char* path) { return openQvfStream(diskStorage(), path); }

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
      stream.file().readAt(field0->positionOf(n), buffer, static_cast<std::uint32_t>(both)))
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
