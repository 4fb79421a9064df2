// The file output's exports: creating a QVF file, announcing the formats it
// accepts, the recording time left on a disk, appending frames and closing.
#include <cstring>
#include <string>

#include "exports/export.h"
#include "exports/file_services.h"
#include "exports/format_descriptor.h"
#include "exports/host_record.h"
#include "exports/report_error.h"
#include "output/frame_writing.h"
#include "output/path_handle.h"
#include "output/writing_file.h"
#include "platform/disk.h"

namespace corvane::output {
namespace {

using exports::HostRecord;
using FD = exports::FormatDescriptorLayout;

struct OpenWriteRequestLayout {
  static constexpr std::size_t kSizeWord = 0;
  static constexpr std::size_t kPath = 4;  // address of the path text
  static constexpr std::size_t kMinimumSize = 592;
};

struct WritingSettingsLayout {
  static constexpr std::size_t kSizeWord = 0;
  static constexpr std::size_t kWordAt8 = 8;      // 1
  static constexpr std::size_t kFormat = 252;     // FormatDescriptor
  static constexpr std::size_t kHostBlock = 488;  // 228 bytes, copied to kHostBlockCopy
  static constexpr std::size_t kHostBlockCopy = 716;
  static constexpr std::size_t kHostBlockBytes = 228;
  static constexpr std::size_t kSize = 944;
};
static_assert(WritingSettingsLayout::kFormat + FD::kSize == WritingSettingsLayout::kHostBlock);
static_assert(WritingSettingsLayout::kHostBlock + WritingSettingsLayout::kHostBlockBytes ==
              WritingSettingsLayout::kHostBlockCopy);
static_assert(WritingSettingsLayout::kHostBlockCopy + WritingSettingsLayout::kHostBlockBytes ==
              WritingSettingsLayout::kSize);

struct WritingFileInfoLayout {
  static constexpr std::size_t kFormatTable = 4;  // address
  static constexpr std::size_t kFormatCount = 8;
  static constexpr std::size_t kWordAt12 = 12;  // 0
  static constexpr std::size_t kWordAt16 = 16;  // 0
  static constexpr std::size_t kWordAt20 = 20;  // 40
  static constexpr std::size_t kByteList = 24;  // address
  static constexpr std::size_t kExtent = 28;    // the record's size word is not consulted
};

struct FreeTimeQueryLayout {
  static constexpr std::size_t kSizeWord = 0;
  static constexpr std::size_t kWordAt4 = 4;  // 100
  static constexpr std::size_t kPath = 8;     // address of the path text
  static constexpr std::size_t kFrames = 16;
  static constexpr std::size_t kSize = 28;
};

struct VideoFrameLayout {
  static constexpr std::size_t kData = 8;            // address of the pixels
  static constexpr std::size_t kPixelFormatId = 28;  // NUL-terminated text
  static constexpr std::size_t kPixelFormatIdCapacity = 108;
  static constexpr std::size_t kDataSize = 136;
  static constexpr std::size_t kExtent = 140;
};
static_assert(VideoFrameLayout::kPixelFormatId + VideoFrameLayout::kPixelFormatIdCapacity ==
              VideoFrameLayout::kDataSize);

// Handed out by every info call and refilled by the next; the release export
// does nothing. Concurrent calls write the same values.
alignas(4) std::uint8_t gAcceptedFormats[3][FD::kSize];
const std::uint8_t kFormatIndexList[4] = {0, 1, 2, 0};

const char* pathOf(void* handle) { return static_cast<const char*>(handle); }

std::int32_t openFileForWrite(void** handleOut, void* address) {
  using L = OpenWriteRequestLayout;
  if (handleOut == nullptr || address == nullptr || exports::recordSize(address) < L::kMinimumSize) return 0;
  HostRecord request(address, L::kMinimumSize);
  const auto* path = static_cast<const char*>(request.address(L::kPath));
  if (path == nullptr) return 0;
  exports::FileServices& services = exports::fileServices();
  char* handle = makePathHandle(writingFileName(path));
  if (handle == nullptr) return 0;
  // The handle stays with the host even when the file cannot be made: the
  // host closes it like any other.
  *handleOut = handle;
  return createForWriting(services.registry, services.mode, handle) ? 1 : 0;
}

std::int32_t setWritingSettings(void* address) {
  using L = WritingSettingsLayout;
  if (address == nullptr || exports::recordSize(address) < L::kSize) return 0;
  HostRecord settings(address, L::kSize);
  const VideoMode& mode = exports::fileServices().mode;
  settings.setU32(L::kWordAt8, 1);
  exports::writeFormatDescriptor(settings, L::kFormat, qvf::kFormat422, mode.frameWidth, mode.frameHeight,
                                 mode, qvf::kWritingSettings422Flags);
  std::memcpy(settings.bytes(L::kHostBlockCopy, L::kHostBlockBytes),
              settings.bytes(L::kHostBlock, L::kHostBlockBytes), L::kHostBlockBytes);
  return 1;
}

std::int32_t getWritingFileInfo(void* address) {
  using L = WritingFileInfoLayout;
  if (address == nullptr) return 0;
  HostRecord info(address, L::kExtent);
  const VideoMode& mode = exports::fileServices().mode;
  const qvf::PixelFormatId* accepted[3] = {&qvf::kFormat422, &qvf::kFormat444, &qvf::kFormatRgba32};
  for (std::size_t i = 0; i < 3; ++i)
    exports::writeFormatDescriptor(gAcceptedFormats[i], *accepted[i], mode.frameWidth, mode.frameHeight, mode,
                                   accepted[i]->flags);
  info.setAddress(L::kFormatTable, gAcceptedFormats);
  info.setU32(L::kFormatCount, 3);
  info.setU32(L::kWordAt12, 0);
  info.setU32(L::kWordAt16, 0);
  info.setU32(L::kWordAt20, 40);
  info.setAddress(L::kByteList, kFormatIndexList);
  return 1;
}

std::int32_t getFreeTimeOnDrive(void* address) {
  using L = FreeTimeQueryLayout;
  if (address == nullptr || exports::recordSize(address) < L::kSize) return 0;
  HostRecord query(address, L::kSize);
  const auto* path = static_cast<const char*>(query.address(L::kPath));
  if (path == nullptr) return 0;
  const std::optional<std::uint32_t> frames =
      framesThatFit(path, exports::fileServices().mode, &platform::freeDiskBytes);
  if (!frames) return 0;
  query.setU32(L::kFrames, *frames);
  query.setU32(L::kWordAt4, 100);
  return 1;
}

std::int32_t writeNextVideoFrame(void* handle, void* address) {
  using L = VideoFrameLayout;
  if (handle == nullptr || address == nullptr) return 0;
  HostRecord frame(address, L::kExtent);
  const std::optional<qvf::PixelFormat> format =
      qvf::matchFormatExact(frame.text(L::kPixelFormatId, L::kPixelFormatIdCapacity));
  if (!format) return 0;
  exports::FileServices& services = exports::fileServices();
  const std::span<std::uint8_t> data(static_cast<std::uint8_t*>(frame.address(L::kData)),
                                     frame.u32(L::kDataSize));
  return writeFrame(services.registry, services.mode, pathOf(handle), *format, data) ? 1 : 0;
}

std::int32_t closeFileForWrite(void* handle) {
  // A close that fails throws past the free: the host keeps a valid handle.
  exports::fileServices().registry.closeByName(pathOf(handle));
  freePathHandle(handle);
  return 1;
}

// The unguarded exports answer 0 to anything they cannot serve; no exception
// may reach the host.
template <class Body>
std::int32_t unguarded(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return 0;
  }
}

}  // namespace
}  // namespace corvane::output

CORVANE_EXPORT std::int32_t AVFILE_OpenFileForWrite(void** handleOut, void* request) {
  return corvane::exports::reportError("AVFILE_OpenFileForWrite",
                                       [&] { return corvane::output::openFileForWrite(handleOut, request); });
}

CORVANE_EXPORT std::int32_t AVFILE_SetWritingSettings(void* settings) {
  return corvane::output::unguarded([&] { return corvane::output::setWritingSettings(settings); });
}

CORVANE_EXPORT std::int32_t AVFILE_GetWritingFileInfo(void*, void* info) {
  return corvane::output::unguarded([&] { return corvane::output::getWritingFileInfo(info); });
}

CORVANE_EXPORT std::int32_t AVFILE_GetFreeTimeOnDrive(void* query) {
  return corvane::output::unguarded([&] { return corvane::output::getFreeTimeOnDrive(query); });
}

CORVANE_EXPORT std::int32_t AVFILE_WriteNextVideoFrame(void* handle, void* frame) {
  return corvane::exports::reportError("AVFILE_WriteNextVideoFrame",
                                       [&] { return corvane::output::writeNextVideoFrame(handle, frame); });
}

CORVANE_EXPORT std::int32_t AVFILE_CloseFileForWrite(void* handle) {
  return corvane::exports::reportError("AVFILE_CloseFileForWrite",
                                       [&] { return corvane::output::closeFileForWrite(handle); });
}
