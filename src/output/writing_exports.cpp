// The file output's exports: creating a QVF file, announcing the formats it
// accepts, the recording time left on a disk, appending frames and closing.
#include <cstring>
#include <string>

#include "exports/export.h"
#include "exports/format_descriptor.h"
#include "exports/format_tables.h"
#include "exports/host_record.h"
#include "exports/path_handle.h"
#include "exports/report_error.h"
#include "exports/services.h"
#include "output/frame_writing.h"
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
constexpr exports::FixedWord kWritingSettingsFixedWords[] = {{8, 1}};

struct WritingFileInfoLayout {
  static constexpr std::size_t kFormatTable = 4;  // address
  static constexpr std::size_t kFormatCount = 8;
  static constexpr std::size_t kFormatIndexList = 24;  // address
  static constexpr std::size_t kExtent = 28;           // the record's size word is not consulted
};
constexpr exports::FixedWord kWritingInfoFixedWords[] = {{12, 0}, {16, 0}, {20, 40}};

struct FreeTimeQueryLayout {
  static constexpr std::size_t kSizeWord = 0;
  static constexpr std::size_t kPath = 8;  // address of the path text
  static constexpr std::size_t kFrames = 16;
  static constexpr std::size_t kSize = 28;
};
constexpr exports::FixedWord kFreeTimeFixedWords[] = {{4, 100}};

struct VideoFrameLayout {
  static constexpr std::size_t kData = 8;            // address of the pixels
  static constexpr std::size_t kPixelFormatId = 28;  // NUL-terminated text
  static constexpr std::size_t kPixelFormatIdCapacity = 108;
  static constexpr std::size_t kDataSize = 136;
  static constexpr std::size_t kExtent = 140;
};
static_assert(VideoFrameLayout::kPixelFormatId + VideoFrameLayout::kPixelFormatIdCapacity ==
              VideoFrameLayout::kDataSize);

std::int32_t openFileForWrite(void** handleOut, void* address) {
  using L = OpenWriteRequestLayout;
  if (handleOut == nullptr || address == nullptr || exports::recordSize(address) < L::kMinimumSize) return 0;
  HostRecord request(address, L::kMinimumSize);
  const auto* path = static_cast<const char*>(request.address(L::kPath));
  if (path == nullptr) return 0;
  exports::Services& services = exports::services();
  char* handle = exports::makePathHandle(writingFileName(path));
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
  const VideoMode& mode = exports::services().mode;
  settings.setFixedWords(kWritingSettingsFixedWords);
  exports::writeFormatDescriptor(settings, L::kFormat, exports::kFormat422, mode.frameWidth, mode.frameHeight,
                                 mode, exports::kWritingSettings422Flags);
  std::memcpy(settings.bytes(L::kHostBlockCopy, L::kHostBlockBytes),
              settings.bytes(L::kHostBlock, L::kHostBlockBytes), L::kHostBlockBytes);
  return 1;
}

std::int32_t getWritingFileInfo(void* address) {
  using L = WritingFileInfoLayout;
  if (address == nullptr) return 0;
  HostRecord info(address, L::kExtent);
  info.setAddress(L::kFormatTable, exports::services().formatTables.accepted());
  info.setU32(L::kFormatCount, exports::FormatTables::kFormats);
  info.setFixedWords(kWritingInfoFixedWords);
  info.setAddress(L::kFormatIndexList, exports::kFormatIndexList);
  return 1;
}

std::int32_t getFreeTimeOnDrive(void* address) {
  using L = FreeTimeQueryLayout;
  if (address == nullptr || exports::recordSize(address) < L::kSize) return 0;
  HostRecord query(address, L::kSize);
  const auto* path = static_cast<const char*>(query.address(L::kPath));
  if (path == nullptr) return 0;
  const std::optional<std::uint32_t> frames =
      framesThatFit(path, exports::services().mode, &platform::freeDiskBytes);
  if (!frames) return 0;
  query.setU32(L::kFrames, *frames);
  query.setFixedWords(kFreeTimeFixedWords);
  return 1;
}

std::int32_t writeNextVideoFrame(void* handle, void* address) {
  using L = VideoFrameLayout;
  if (handle == nullptr || address == nullptr) return 0;
  HostRecord frame(address, L::kExtent);
  const std::optional<exports::PixelFormat> format =
      exports::matchFormatExact(frame.text(L::kPixelFormatId, L::kPixelFormatIdCapacity));
  if (!format) return 0;
  exports::Services& services = exports::services();
  const std::span<std::uint8_t> data(static_cast<std::uint8_t*>(frame.address(L::kData)),
                                     frame.u32(L::kDataSize));
  return writeFrame(services.registry, services.mode, exports::pathOf(handle), *format, data) ? 1 : 0;
}

std::int32_t closeFileForWrite(void* handle) {
  // A close that fails throws past the free: the host keeps a valid handle.
  qvf::OpenFileRegistry& registry = exports::services().registry;
  registry.closeByName(exports::pathOf(handle));
  // The last frame's write may have failed after its call returned: the
  // close reports it as a failed frame is reported, 0 without a message. The
  // handle stays valid, as on the other failed close; closing it again gives 1.
  if (registry.takeClosedWriteFailure(exports::pathOf(handle))) return 0;
  exports::freePathHandle(handle);
  return 1;
}

}  // namespace
}  // namespace corvane::output

CORVANE_EXPORT std::int32_t AVFILE_OpenFileForWrite(void** handleOut, void* request) {
  return corvane::exports::reportError("AVFILE_OpenFileForWrite",
                                       [&] { return corvane::output::openFileForWrite(handleOut, request); });
}

CORVANE_EXPORT std::int32_t AVFILE_SetWritingSettings(void* settings) {
  return corvane::exports::unguarded([&] { return corvane::output::setWritingSettings(settings); });
}

CORVANE_EXPORT std::int32_t AVFILE_GetWritingFileInfo(void*, void* info) {
  return corvane::exports::unguarded([&] { return corvane::output::getWritingFileInfo(info); });
}

CORVANE_EXPORT std::int32_t AVFILE_GetFreeTimeOnDrive(void* query) {
  return corvane::exports::unguarded([&] { return corvane::output::getFreeTimeOnDrive(query); });
}

CORVANE_EXPORT std::int32_t AVFILE_WriteNextVideoFrame(void* handle, void* frame) {
  return corvane::exports::reportError("AVFILE_WriteNextVideoFrame",
                                       [&] { return corvane::output::writeNextVideoFrame(handle, frame); });
}

CORVANE_EXPORT std::int32_t AVFILE_CloseFileForWrite(void* handle) {
  return corvane::exports::reportError("AVFILE_CloseFileForWrite",
                                       [&] { return corvane::output::closeFileForWrite(handle); });
}
