// The file input's exports: recognising a QVF file, describing it with three
// offered formats, reading single frames, and closing the handle.
#include <cstring>

#include "exports/export.h"
#include "exports/file_services.h"
#include "exports/format_descriptor.h"
#include "exports/host_record.h"
#include "exports/report_error.h"
#include "input/frame_reading.h"
#include "input/path_handle.h"
#include "qvf/reader.h"

namespace corvane::input {
namespace {

using exports::HostRecord;
using FD = exports::FormatDescriptorLayout;

struct ReadingFileInfoLayout {
  static constexpr std::size_t kSizeWord = 0;
  static constexpr std::size_t kWordAt4 = 4;      // 0
  static constexpr std::size_t kWordAt8 = 8;      // 8
  static constexpr std::size_t kName = 12;        // char[100], "Video Corvane"
  static constexpr std::size_t kWordAt112 = 112;  // 40
  static constexpr std::size_t kWordAt116 = 116;  // 0
  static constexpr std::size_t kWordAt120 = 120;  // 65535
  static constexpr std::size_t kFrameCount = 132;
  static constexpr std::size_t kFrameCountHigh = 136;  // 0
  static constexpr std::size_t kFormatTable = 140;     // address
  static constexpr std::size_t kFormatCount = 144;
  static constexpr std::size_t kWordAt148 = 148;  // 0
  static constexpr std::size_t kWordAt152 = 152;  // 0
  static constexpr std::size_t kByteList = 156;   // address
  static constexpr std::size_t kHandle = 164;
  static constexpr std::size_t kSize = 176;
};
static_assert(ReadingFileInfoLayout::kName + 100 == ReadingFileInfoLayout::kWordAt112);
static_assert(ReadingFileInfoLayout::kHandle + 4 + 8 == ReadingFileInfoLayout::kSize);

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

// Handed out to the host and refilled by every info call; the release export
// does nothing. Two concurrent info calls write the same values.
alignas(4) std::uint8_t gOfferedFormats[3][FD::kSize];
const std::uint8_t kFormatIndexList[4] = {0, 1, 2, 0};

const char* pathOf(void* handle) { return static_cast<const char*>(handle); }

void fillOfferedFormats(const qvf::FrameGeometry& geometry, const VideoMode& mode) {
  const std::uint32_t height = geometry.linesPerField * 2;
  const qvf::PixelFormatId* offered[3] = {&qvf::kFormat422, &qvf::kFormat444, &qvf::kFormatRgba32};
  for (std::size_t i = 0; i < 3; ++i)
    exports::writeFormatDescriptor(gOfferedFormats[i], *offered[i], geometry.width, height, mode,
                                   offered[i]->flags);
}

std::int32_t getReadingFileInfo(void* handle, void* address) {
  using L = ReadingFileInfoLayout;
  if (address == nullptr || exports::recordSize(address) < L::kSize) return 0;
  HostRecord info(address, L::kSize);
  exports::FileServices& services = exports::fileServices();
  info.setU32(L::kWordAt4, 0);
  info.setU32(L::kWordAt8, 8);
  info.setText(L::kName, 100, kReaderName);
  info.setU32(L::kWordAt112, 40);
  info.setU32(L::kFrameCount, qvf::frameCount(services.registry, pathOf(handle)));
  info.setU32(L::kFrameCountHigh, 0);
  info.setU32(L::kWordAt116, 0);
  info.setU32(L::kWordAt120, 65535);
  const std::optional<qvf::FrameGeometry> geometry = qvf::frameGeometry(services.registry, pathOf(handle));
  if (!geometry) return 0;
  fillOfferedFormats(*geometry, services.mode);
  info.setU32(L::kWordAt148, 0);
  info.setU32(L::kWordAt152, 0);
  info.setAddress(L::kHandle, handle);
  info.setU32(L::kFormatCount, 3);
  info.setAddress(L::kByteList, kFormatIndexList);
  info.setAddress(L::kFormatTable, gOfferedFormats);
  return 1;
}

// The delivered format says what the plug-in will write before it knows
// whether it can: geometry from the file, everything else echoed from the
// request. Its flags wait for a successful read.
void fillDeliveredFormat(HostRecord& request, FrameSize size) {
  using L = ReadFrameRequestLayout;
  request.setU32(L::kDelivered + FD::kSizeWord, FD::kSize);
  request.setU32(L::kDelivered + FD::kWidth, size.width);
  request.setU32(L::kDelivered + FD::kHeight, size.height);
  std::memmove(request.bytes(L::kDelivered + FD::kPixelFormatId, FD::kTextCapacity),
               request.bytes(L::kRequested + FD::kPixelFormatId, FD::kTextCapacity), FD::kTextCapacity);
  request.setU32(L::kDelivered + FD::kRateNumerator, request.u32(L::kRequested + FD::kRateNumerator));
  request.setU32(L::kDelivered + FD::kRateDenominator, request.u32(L::kRequested + FD::kRateDenominator));
  request.setU32(L::kDelivered + FD::kFrameBytes, request.u32(L::kRequested + FD::kFrameBytes));
  std::memmove(request.bytes(L::kDelivered + FD::kDisplayName, FD::kTextCapacity),
               request.bytes(L::kRequested + FD::kDisplayName, FD::kTextCapacity), FD::kTextCapacity);
}

std::int32_t readImageFrame(void* handle, void* address) {
  using L = ReadFrameRequestLayout;
  if (address == nullptr || exports::recordSize(address) < L::kSize) return 0;
  HostRecord request(address, L::kSize);
  exports::FileServices& services = exports::fileServices();
  const std::optional<qvf::FrameGeometry> geometry = qvf::frameGeometry(services.registry, pathOf(handle));
  if (!geometry) return 0;
  const FrameSize size{geometry->width, geometry->linesPerField * 2};
  fillDeliveredFormat(request, size);

  const std::optional<qvf::PixelFormat> format =
      qvf::matchFormatExact(request.text(L::kRequested + FD::kPixelFormatId, FD::kTextCapacity));
  if (!format) return 0;
  const std::span<std::uint8_t> buffer(static_cast<std::uint8_t*>(request.address(L::kBuffer)),
                                       request.u32(L::kBufferSize));
  if (!readFrame(services.registry, pathOf(handle), request.u32(L::kFrameNumber), *format, size, buffer))
    return 0;
  request.setU32(L::kDelivered + FD::kFlags, qvf::formatId(*format).flags);
  return 1;
}

std::int32_t closeReadingFile(void* handle) {
  exports::fileServices().registry.closeByName(pathOf(handle));
  freePathHandle(handle);
  return 1;
}

}  // namespace
}  // namespace corvane::input

// Unguarded: a refusal is its answer, never a message. Null arguments are
// refused rather than followed.
CORVANE_EXPORT std::int32_t AVFILE_OpenFileForRead(void** handleOut, const char* path) {
  if (handleOut == nullptr || path == nullptr) return 0;
  try {
    if (!corvane::qvf::isQvfFile(path)) return 0;
  } catch (...) {
    return 0;  // no exception may cross into the host
  }
  char* handle = corvane::input::makePathHandle(path);
  if (handle == nullptr) return 0;
  *handleOut = handle;
  return 1;
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
