#include "qvf/container.h"

#include <bit>

namespace corvane::qvf {
namespace {

constexpr std::uint32_t kLinePitch525 = 1716;
constexpr std::uint32_t kLinePitch625 = 1728;
constexpr std::int32_t kFirst625LineCount = 241;

void put16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

void put32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint16_t get16(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[0] | (at[1] << 8)); }

std::uint32_t get32(const std::uint8_t* at) {
  return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
         std::uint32_t{at[3]} << 24;
}

}  // namespace

std::array<std::uint8_t, QvfFileHeader::kSize> QvfFileHeader::encode() const {
  std::array<std::uint8_t, kSize> bytes{};
  put32(&bytes[kMagicOffset], magic);
  put32(&bytes[kFileTypeOffset], fileType);
  put32(&bytes[kDataOffsetOffset], dataOffset);
  put32(&bytes[kStreamCountOffset], streamCount);
  put32(&bytes[kFrameBlockSizeOffset], frameBlockSize);
  put32(&bytes[kFieldRateOffset], std::bit_cast<std::uint32_t>(fieldRate));
  return bytes;
}

QvfFileHeader QvfFileHeader::decode(std::span<const std::uint8_t, kSize> bytes) {
  QvfFileHeader header;
  header.magic = get32(&bytes[kMagicOffset]);
  header.fileType = get32(&bytes[kFileTypeOffset]);
  header.dataOffset = get32(&bytes[kDataOffsetOffset]);
  header.streamCount = get32(&bytes[kStreamCountOffset]);
  header.frameBlockSize = get32(&bytes[kFrameBlockSizeOffset]);
  header.fieldRate = std::bit_cast<float>(get32(&bytes[kFieldRateOffset]));
  return header;
}

std::array<std::uint8_t, QvfStreamHeader::kSize> QvfStreamHeader::encode() const {
  std::array<std::uint8_t, kSize> bytes{};
  put16(&bytes[kStreamTypeOffset], static_cast<std::uint16_t>(streamType));
  put16(&bytes[kSubtypeOffset], subtype);
  put32(&bytes[kChunkSizeOffset], chunkSize);
  put32(&bytes[kRasterOffsetOffset], rasterOffset);
  put32(&bytes[kLinePitchOffset], linePitch);
  put32(&bytes[kActiveLineBytesOffset], activeLineBytes);
  put32(&bytes[kLinesOffset], lines);
  return bytes;
}

QvfStreamHeader QvfStreamHeader::decode(std::span<const std::uint8_t, kSize> bytes) {
  QvfStreamHeader header;
  header.streamType = static_cast<std::int16_t>(get16(&bytes[kStreamTypeOffset]));
  header.subtype = get16(&bytes[kSubtypeOffset]);
  header.chunkSize = get32(&bytes[kChunkSizeOffset]);
  header.rasterOffset = get32(&bytes[kRasterOffsetOffset]);
  header.linePitch = get32(&bytes[kLinePitchOffset]);
  header.activeLineBytes = get32(&bytes[kActiveLineBytesOffset]);
  header.lines = get32(&bytes[kLinesOffset]);
  return header;
}

std::uint32_t chunkSizeFor(std::int32_t width, std::int32_t linesPerField) {
  // 64-bit so that no geometry overflows; the result wraps to 32 bits as the
  // header field does.
  const std::int64_t fieldBytes = std::int64_t{width} * linesPerField * 2;
  const std::int64_t sectors = (fieldBytes + (kSectorSize - 1)) / kSectorSize;
  return static_cast<std::uint32_t>(sectors * kSectorSize);
}

std::int32_t widthOf(const QvfStreamHeader& header) {
  return static_cast<std::int32_t>(header.activeLineBytes) / 2;
}

std::uint32_t frameCountFor(std::uint64_t fileSize, std::uint32_t dataOffset, std::uint32_t frameBlockSize) {
  if (fileSize < dataOffset || frameBlockSize == 0) return 0;
  const std::uint64_t fields = ((fileSize - dataOffset) * 2) / frameBlockSize;
  return static_cast<std::uint32_t>(fields >> 1);
}

RasterPlacement rasterPlacementFor(std::int32_t linesPerField, std::int32_t streamIndex) {
  const bool secondField = (streamIndex & 1) != 0;
  if (linesPerField < kFirst625LineCount) {
    // Rows 20 and 283 of 525, after 276 bytes of horizontal blanking.
    return {kLinePitch525, secondField ? 283 * kLinePitch525 + 276 : 20 * kLinePitch525 + 276};
  }
  // Rows 22 and 335 of 625, after 288 bytes of horizontal blanking.
  return {kLinePitch625, secondField ? 335 * kLinePitch625 + 288 : 22 * kLinePitch625 + 288};
}

}  // namespace corvane::qvf
