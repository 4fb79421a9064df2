#include "qvf/frame_transfer.h"

#include <cstring>

#include "pixeltools/field_rows.h"
#include "qvf/background_job.h"
#include "qvf/read_ahead.h"
#include "qvf/stream.h"
#include "qvf/write_behind.h"

namespace corvane::qvf {
namespace {

// Field numbers are 32-bit: frames from 2^31 on cannot be addressed.
constexpr std::uint32_t kLastAddressableFrame = 0x7FFF'FFFF;
// For fields this small the helper thread costs more than it saves.
constexpr std::uint64_t kHelperMinimumFieldBytes = 64 * 1024;

bool addressable(std::uint32_t n) { return n <= kLastAddressableFrame; }

// The two chunks of frame n of video pair 0. The registry opens only files
// with a pair whose field fits both chunks.
struct FramePlace {
  FramePlace(QvfStream& stream, std::uint32_t n)
      : first(*stream.video(0)),
        second(*stream.video(1)),
        firstAt(first.positionOf(n)),
        secondAt(second.positionOf(n)) {}
  bool adjacent() const { return secondAt == firstAt + first.chunkSize; }

  VideoStreamContext& first;
  VideoStreamContext& second;
  std::uint64_t firstAt;
  std::uint64_t secondAt;
};

// Chunks may move straight between the file and a caller's buffer only when
// the buffer suits unbuffered transfers and each field fills its chunk
// exactly, with the chunks side by side: no padding spills into the next
// field or past the frame.
bool directFits(const OpenFileEntry& entry, const FramePlace& place, const void* buffer) {
  return reinterpret_cast<std::uintptr_t>(buffer) % kSectorSize == 0 &&
         place.first.chunkSize == entry.fieldBytes && place.second.chunkSize == entry.fieldBytes &&
         place.adjacent();
}

std::span<std::uint8_t> chunkOf(VideoStreamContext& context) {
  return {context.chunkBuffer.data(), context.chunkSize};
}

struct FieldsRead {
  bool first = false;
  bool second = false;
  bool both() const { return first && second; }
};

// Both fields of frame n into the chunk buffers of pair 0: one request where
// the chunks lie side by side (the device costs per request far more than
// per byte); otherwise, or when that fails, one read each, the second tried
// even when the first failed.
FieldsRead readIntoChunks(QvfStream& stream, const FramePlace& place) {
  const std::span<std::uint8_t> chunks[2] = {chunkOf(place.first), chunkOf(place.second)};
  if (place.adjacent() && stream.file().readAt(place.firstAt, chunks)) return {true, true};
  FieldsRead read;
  read.first = stream.file().readAt(place.firstAt, chunks[0]);
  read.second = stream.file().readAt(place.secondAt, chunks[1]);
  return read;
}

// Frame n into the chunk buffers, read ahead during the previous calls where
// the caller reads frame after frame; the reads of the next frames go on on
// the helper thread while this call copies or converts, so a sequential
// reader waits for the disk or for the conversion, whichever is slower, not
// for both. A read out of sequence lets the helper end and drops what it read.
FieldsRead fetchFields(OpenFileEntry& entry, std::uint32_t n) {
  QvfStream& stream = *entry.stream;
  BackgroundJob* helper = entry.fieldBytes >= kHelperMinimumFieldBytes ? stream.backgroundJob() : nullptr;
  ReadAhead* ahead = helper != nullptr ? stream.readAhead() : nullptr;
  stream.settleWriteBehind();
  FieldsRead read;
  if (ahead != nullptr && ahead->take(stream, n)) {
    read = {true, true};
  } else {
    stream.settleHelper();
    if (ahead != nullptr) ahead->discard();
    read = readIntoChunks(stream, FramePlace(stream, n));
  }
  if (ahead != nullptr && read.both()) ahead->request(*helper, stream, n);
  return read;
}

pixeltools::FieldGeometry geometryOf(const OpenFileEntry& entry) { return {entry.width, entry.lines}; }

// Frame n straight into an aligned buffer whose fields fill their chunks.
bool readDirect(QvfStream& stream, const FramePlace& place, std::span<std::uint8_t> destination) {
  stream.settleHelper();  // a write behind may be writing this very frame
  const std::uint32_t field = place.first.chunkSize;
  if (stream.file().readAt(place.firstAt, destination.first(std::size_t{field} * 2))) return true;
  const bool first = stream.file().readAt(place.firstAt, destination.first(field));
  const bool second = stream.file().readAt(place.secondAt, destination.subspan(field, field));
  return first && second;
}

}  // namespace

std::uint64_t frameBytes(const OpenFileEntry& entry, FrameLayout layout) {
  const std::uint64_t field = std::uint64_t{entry.width} * entry.lines * 2;
  return layout == FrameLayout::Fields422 ? field * 2 : field * 4;
}

bool readFrame(OpenFileEntry& entry, std::uint32_t n, FrameLayout layout,
               std::span<std::uint8_t> destination) {
  if (!addressable(n) || destination.size() < frameBytes(entry, layout)) return false;
  QvfStream& stream = *entry.stream;
  if (layout == FrameLayout::Fields422) {
    const FramePlace place(stream, n);
    if (directFits(entry, place, destination.data())) return readDirect(stream, place, destination);
  }
  const FieldsRead read = fetchFields(entry, n);
  const std::uint8_t* field0 = stream.video(0)->chunkBuffer.data();
  const std::uint8_t* field1 = stream.video(1)->chunkBuffer.data();
  switch (layout) {
    case FrameLayout::Fields422:
      if (read.first) std::memcpy(destination.data(), field0, entry.fieldBytes);
      if (read.second) std::memcpy(destination.data() + entry.fieldBytes, field1, entry.fieldBytes);
      return read.both();
    case FrameLayout::Ycbcr444:
    case FrameLayout::Bgra32: {
      if (!read.both()) return false;
      const auto rows =
          layout == FrameLayout::Bgra32 ? pixeltools::FrameLayout::Bgra32 : pixeltools::FrameLayout::Ycbcr444;
      const pixeltools::FieldGeometry geometry = geometryOf(entry);
      pixeltools::fieldRowsToFrame(rows, field0, 0, destination.data(), geometry, 0, geometry.lines);
      pixeltools::fieldRowsToFrame(rows, field1, 1, destination.data(), geometry, 0, geometry.lines);
      return true;
    }
  }
  return false;
}

bool writeFrame(OpenFileEntry& entry, FrameLayout layout, std::span<const std::uint8_t> source) {
  if (source.size() < frameBytes(entry, layout)) return false;
  const std::uint32_t n = entry.frameCounter++;
  if (!addressable(n)) return false;
  QvfStream& stream = *entry.stream;
  const FramePlace place(stream, n);
  if (layout == FrameLayout::Fields422 && directFits(entry, place, source.data())) {
    const bool earlierFailed = stream.takeWriteFailure();
    return stream.file().writeAt(place.firstAt, source.first(std::size_t{entry.fieldBytes} * 2)) &&
           !earlierFailed;
  }
  // The chunk buffers are free while the helper runs: a read ahead and a
  // write behind each have a pair of their own. So the frame is converted
  // first, while the previous frame may still be on its way to the disk.
  std::uint8_t* field0 = place.first.chunkBuffer.data();
  std::uint8_t* field1 = place.second.chunkBuffer.data();
  switch (layout) {
    case FrameLayout::Fields422:
      std::memcpy(field0, source.data(), entry.fieldBytes);
      std::memcpy(field1, source.data() + entry.fieldBytes, entry.fieldBytes);
      break;
    case FrameLayout::Ycbcr444:
      pixeltools::fieldsFrom444(source.data(), field0, field1, geometryOf(entry));
      break;
    case FrameLayout::Bgra32:
      pixeltools::fieldsFromBgra(source.data(), field0, field1, geometryOf(entry));
      break;
  }
  // Then the helper settles: the previous frame's write has ended (its
  // failure is this call's to report), and so has a read ahead, which may be
  // reading the very block this frame overwrites.
  const bool earlierFailed = stream.takeWriteFailure();
  WriteBehind* behind = entry.fieldBytes >= kHelperMinimumFieldBytes ? stream.writeBehind() : nullptr;
  if (behind != nullptr) {
    behind->start(*stream.backgroundJob(), stream, n);
    return !earlierFailed;
  }
  return stream.writeFrameChunks(n, chunkOf(place.first), chunkOf(place.second)) && !earlierFailed;
}

bool appendFrameRaw(OpenFileEntry& entry, std::span<const std::uint8_t> frame) {
  const std::uint32_t n = entry.frameCounter++;
  const std::uint64_t bytes = frameBytes(entry, FrameLayout::Fields422);
  if (bytes > 0xFFFF'FFFF || frame.size() < bytes) return false;
  QvfStream& stream = *entry.stream;
  const bool earlierFailed = stream.takeWriteFailure();
  // After a reopen the handle stands at offset 0, not at frame block n: the
  // append must never land on the headers.
  const std::uint64_t target = chunkPosition(stream.header().dataOffset, stream.header().frameBlockSize, n);
  return stream.file().placeFilePointer(target) && stream.file().writeUnpositioned(frame.first(bytes)) &&
         !earlierFailed;
}

}  // namespace corvane::qvf
