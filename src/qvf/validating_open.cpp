#include "qvf/validating_open.h"

#include <algorithm>
#include <array>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/error.h"

namespace corvane::qvf {
namespace {

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

}  // namespace corvane::qvf
