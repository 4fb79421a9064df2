// The file input's exports: recognising a QVF file, describing it with three
// offered formats, reading single frames, and closing the handle.
#include <cstring>

#include "exports/export.h"
#include "exports/format_descriptor.h"
#include "exports/host_record.h"
#include "exports/path_handle.h"
#include "exports/report_error.h"
#include "exports/services.h"
#include "input/frame_reading.h"
#include "qvf/validating_open.h"

namespace corvane::input {
namespace {

using exports::HostRecord;
using FD = exports::FormatDescriptorLayout;

struct ReadingFileInfoLayout {
  static constexpr std::size_t kSizeWord = 0;
  static constexpr std::size_t kReaderName = 12;  // char[100], "Video Corvane"
  static constexpr std::size_t kFrameCount = 132;
  static constexpr std::size_t kFrameCountHigh = 136;  // 0: the count is 32-bit
  static constexpr std::size_t kFormatTable = 140;     // address
  static constexpr std::size_t kFormatCount = 144;
  static constexpr std::size_t kFormatIndexList = 156;  // address
  static constexpr std::size_t kHandle = 164;
  static constexpr std::size_t kTextCapacity = 100;
  static constexpr std::size_t kSize = 176;
};
static_assert(ReadingFileInfoLayout::kHandle + 4 + 8 == ReadingFileInfoLayout::kSize);

using exports::FixedWord;
constexpr FixedWord kReadingInfoFixedWords[] = {{4, 0}, {8, 8}, {112, 40}, {116, 0}, {120, 65535}};
constexpr FixedWord kReadingInfoTrailingWords[] = {{148, 0}, {152, 0}};

struct ReadFrameRequestLayout {
  static constexpr std::size_t kSizeWord = 0;
  static constexpr std::size_t kFrameNumber = 4;
  static constexpr std::size_t kBuffer = 12;  // address
  static constexpr std::size_t kBufferSize = 16;
  static constexpr std::size_t kRequested = 20;   // FormatDescriptor
  static constexpr std::size_t kDelivered = 256;  // FormatDescriptor
  static constexpr std::size_t kSize = 492;
};
static_assert(ReadFrameRequestLayout::kRequested + FD::kSize == ReadFrameRequestLayout::kDelivered);
static_assert(ReadFrameRequestLayout::kDelivered + FD::kSize == ReadFrameRequestLayout::kSize);

constexpr const char* kReaderName = "Video Corvane";

std::int32_t getReadingFileInfo(void* handle, void* address) {
  using L = ReadingFileInfoLayout;
  if (address == nullptr || exports::recordSize(address) < L::kSize) return 0;
  HostRecord info(address, L::kSize);
  info.probeWritable();
  exports::Services& services = exports::services();
  info.setFixedWords(kReadingInfoFixedWords);
  info.setText(L::kReaderName, L::kTextCapacity, kReaderName);
  info.setU32(L::kFrameCountHigh, 0);
  qvf::OpenFileRegistry::Access entry = services.registry.access(exports::pathOf(handle));
  info.setU32(L::kFrameCount, entry ? entry->stream->frameCount() : 0);
  if (!entry) return 0;
  const FrameSize size = frameSizeOf(*entry);
  const std::uint8_t* offered = services.formatTables.offered(size.width, size.height);
  if (offered == nullptr) return 0;
  info.setFixedWords(kReadingInfoTrailingWords);
  info.setAddress(L::kHandle, handle);
  info.setU32(L::kFormatCount, exports::FormatTables::kFormats);
  info.setAddress(L::kFormatIndexList, exports::kFormatIndexList);
  info.setAddress(L::kFormatTable, offered);
  return 1;
}

// The delivered format says what the plug-in will write before it knows
// whether it can: geometry from the file, everything else echoed from the
// request. Texts are copied up to their terminator; the host's bytes behind
// it stay as they were. Its flags wait for a successful read.
void fillDeliveredFormat(HostRecord& request, FrameSize size) {
  using L = ReadFrameRequestLayout;
  request.setU32(L::kDelivered + FD::kSizeWord, FD::kSize);
  request.setU32(L::kDelivered + FD::kWidth, size.width);
  request.setU32(L::kDelivered + FD::kHeight, size.height);
  for (const std::size_t text : {FD::kPixelFormatId, FD::kDisplayName})
    request.setText(L::kDelivered + text, FD::kTextCapacity,
                    request.text(L::kRequested + text, FD::kTextCapacity));
  for (const std::size_t word : {FD::kRateNumerator, FD::kRateDenominator, FD::kFrameBytes})
    request.setU32(L::kDelivered + word, request.u32(L::kRequested + word));
}

// The file is entered once: its geometry, the delivered format and the read
// all come from the same open entry, under its lock.
std::int32_t readImageFrame(void* handle, void* address) {
  using L = ReadFrameRequestLayout;
  if (address == nullptr || exports::recordSize(address) < L::kSize) return 0;
  HostRecord request(address, L::kSize);
  request.probeWritable();
  qvf::OpenFileRegistry::Access entry = exports::services().registry.access(exports::pathOf(handle));
  if (!entry) return 0;
  fillDeliveredFormat(request, frameSizeOf(*entry));

  const std::optional<exports::PixelFormat> format =
      exports::matchFormatExact(request.text(L::kRequested + FD::kPixelFormatId, FD::kTextCapacity));
  if (!format) return 0;
  const std::span<std::uint8_t> buffer(static_cast<std::uint8_t*>(request.address(L::kBuffer)),
                                       request.u32(L::kBufferSize));
  if (!readFrame(*entry, request.u32(L::kFrameNumber), *format, buffer)) return 0;
  request.setU32(L::kDelivered + FD::kFlags, exports::formatId(*format).flags);
  return 1;
}

std::int32_t closeReadingFile(void* handle) {
  exports::services().registry.closeByName(exports::pathOf(handle));
  exports::freePathHandle(handle);
  return 1;
}

}  // namespace
}  // namespace corvane::input

// Unguarded: a refusal is its answer, never a message. Null arguments are
// refused rather than followed.
CORVANE_EXPORT std::int32_t AVFILE_OpenFileForRead(void** handleOut, const char* path) {
  return corvane::exports::unguarded([&]() -> std::int32_t {
    if (handleOut == nullptr || path == nullptr || !corvane::qvf::isQvfFile(path)) return 0;
    char* handle = corvane::exports::makePathHandle(path);
    if (handle == nullptr) return 0;
    *handleOut = handle;
    return 1;
  });
}

CORVANE_EXPORT std::int32_t AVFILE_GetReadingFileInfo(void* handle, void* info) {
  return corvane::exports::reportError("AVFILE_GetReadingFileInfo",
                                       [&] { return corvane::input::getReadingFileInfo(handle, info); });
}

CORVANE_EXPORT std::int32_t AVFILE_ReadImageFrame(void* handle, void* request) {
  return corvane::exports::reportError("AVFILE_ReadImageFrame",
                                       [&] { return corvane::input::readImageFrame(handle, request); });
}

CORVANE_EXPORT std::int32_t AVFILE_CloseReadingFile(void* handle) {
  return corvane::exports::reportError("AVFILE_CloseReadingFile",
                                       [&] { return corvane::input::closeReadingFile(handle); });
}
