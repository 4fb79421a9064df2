// The bytes of a QVF file: the 24-byte file header, one 24-byte header per
// stream, then fixed-size frame blocks from a sector-aligned data offset, each
// holding one chunk of every stream. All fields are little-endian; positions
// are 64-bit while every size and base in the headers is 32-bit.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace corvane::qvf {

inline constexpr std::uint32_t kSectorSize = 512;
inline constexpr std::uint32_t kQvfMagic = 0x52544D46;  // "FMTR" read as a little-endian word
inline constexpr std::uint32_t kQvfFileType = 1;
inline constexpr std::uint32_t kWrittenDataOffset = 512;
inline constexpr std::uint16_t kVideoSubtype422 = 8;
// Marks a cached file position as unknown.
inline constexpr std::uint64_t kInvalidPosition = ~std::uint64_t{0};

struct QvfFileHeader {
  static constexpr std::size_t kSize = 24;
  static constexpr std::size_t kMagicOffset = 0;
  static constexpr std::size_t kFileTypeOffset = 4;
  static constexpr std::size_t kDataOffsetOffset = 8;
  static constexpr std::size_t kStreamCountOffset = 12;
  static constexpr std::size_t kFrameBlockSizeOffset = 16;
  static constexpr std::size_t kFieldRateOffset = 20;

  std::uint32_t magic = kQvfMagic;
  std::uint32_t fileType = kQvfFileType;
  std::uint32_t dataOffset = kWrittenDataOffset;
  std::uint32_t streamCount = 0;     // signed where it is counted
  std::uint32_t frameBlockSize = 0;  // the stride between chunks of one stream
  float fieldRate = 0.0f;            // 0.0: no rate given

  std::array<std::uint8_t, kSize> encode() const;
  static QvfFileHeader decode(std::span<const std::uint8_t, kSize> bytes);
};
static_assert(QvfFileHeader::kFieldRateOffset + 4 == QvfFileHeader::kSize);

enum class StreamType : std::int16_t { Invalid = 0, Video = 1, Audio = 2 };

struct QvfStreamHeader {
  static constexpr std::size_t kSize = 24;
  static constexpr std::size_t kStreamTypeOffset = 0;
  static constexpr std::size_t kSubtypeOffset = 2;
  static constexpr std::size_t kChunkSizeOffset = 4;
  static constexpr std::size_t kRasterOffsetOffset = 8;
  static constexpr std::size_t kLinePitchOffset = 12;
  static constexpr std::size_t kActiveLineBytesOffset = 16;
  static constexpr std::size_t kLinesOffset = 20;

  std::int16_t streamType = 0;  // StreamType, or another value that readers skip
  std::uint16_t subtype = 0;
  std::uint32_t chunkSize = 0;
  std::uint32_t rasterOffset = 0;
  std::uint32_t linePitch = 0;
  std::uint32_t activeLineBytes = 0;  // width x 2
  std::uint32_t lines = 0;

  bool is(StreamType type) const { return streamType == static_cast<std::int16_t>(type); }
  std::array<std::uint8_t, kSize> encode() const;
  static QvfStreamHeader decode(std::span<const std::uint8_t, kSize> bytes);
};
static_assert(QvfStreamHeader::kLinesOffset + 4 == QvfStreamHeader::kSize);

// Bytes a field of width x lines occupies in every frame block: the field
// rounded up to whole sectors (signed arithmetic, as the writer computes it).
std::uint32_t chunkSizeFor(std::int32_t width, std::int32_t linesPerField);

// Width in pixels of a stream: its active line bytes halved as a signed value.
std::int32_t widthOf(const QvfStreamHeader& header);

// File offset of chunk n of a stream whose chunk 0 lies at base.
constexpr std::uint64_t chunkPosition(std::uint32_t base, std::uint32_t stride, std::uint32_t n) {
  return std::uint64_t{stride} * n + base;
}

// Whole frame blocks in a file of fileSize bytes; 0 below the data offset and
// for a frame block size of 0.
std::uint32_t frameCountFor(std::uint64_t fileSize, std::uint32_t dataOffset, std::uint32_t frameBlockSize);

// Where a field's samples sit in the board's full raster, by the field's line
// count (fewer than 241: 525-line video) and the parity of the stream index.
struct RasterPlacement {
  std::uint32_t linePitch;
  std::uint32_t rasterOffset;
};
RasterPlacement rasterPlacementFor(std::int32_t linesPerField, std::int32_t streamIndex);

}  // namespace corvane::qvf
