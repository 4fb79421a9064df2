// The record device's exports: opening and closing the device, its settings
// and info records, the takes and their position, and the record file.
#include <memory>

#include "engine/error.h"
#include "exports/export.h"
#include "exports/format_descriptor.h"
#include "exports/format_tables.h"
#include "exports/host_record.h"
#include "exports/report_error.h"
#include "exports/services.h"
#include "platform/dynamic_library.h"
#include "preview/preview_process.h"
#include "qvf/file_io.h"
#include "record/input_settings_dialog.h"
#include "record/record_device.h"
#include "record/take_report.h"
#include "settings/config_store.h"

namespace corvane::record {
namespace {

using exports::HostRecord;

struct OpenRecordingParamsLayout {
  static constexpr std::size_t kSize = 480;  // exactly
};

struct RecordingSettingsLayout {
  static constexpr std::size_t kFlags = 4;
  static constexpr std::size_t kFormat = 252;
  static constexpr std::size_t kMinimumSize = 944;
};
static_assert(RecordingSettingsLayout::kFormat + exports::FormatDescriptorLayout::kSize <=
              RecordingSettingsLayout::kMinimumSize);
constexpr exports::FixedWord kRecordingSettingsFixedWords[] = {{8, 1}};
constexpr std::uint32_t kRecording422Flags = 0x812;
constexpr std::uint32_t kShowDialogFlag = 0x1;

constexpr exports::FixedWord kRecordingInfoWords[] = {{0, 0x424}, {4, 0},  {8, 0},    {12, 0},
                                                      {16, 0},    {20, 0}, {24, 0x28}};
constexpr std::size_t kRecordingInfoExtent = 28;

struct RecordingPositionLayout {
  static constexpr std::size_t kPosition = 4;
  static constexpr std::size_t kSize = 8;  // exactly
};

struct RecordingFileParamsLayout {
  static constexpr std::size_t kFrameLimit = 8;
  static constexpr std::size_t kModuleHandle = 16;
  static constexpr std::size_t kPath = 20;  // address of the path text, or null
  static constexpr std::size_t kSize = 32;  // exactly
};

struct RemoveRecordingFileParamsLayout {
  static constexpr std::size_t kSize = 16;  // exactly
};

constexpr const char* kPreviewKey = "VeltrixScryIn";

// The open device the handle names; null for one closed or never given out.
std::shared_ptr<RecordDevice> deviceOf(void* handle) {
  return exports::services().recordDevices.find(handle);
}

// The library's load address: what the host was handed as our module handle.
std::uint32_t ownModuleHandle() {
  static const auto base =
      static_cast<std::uint32_t>(platform::moduleBaseOf(reinterpret_cast<const void*>(&ownModuleHandle)));
  return base;
}

std::int32_t openRecording(void** out, void* params) {
  if (out == nullptr || params == nullptr ||
      exports::recordSize(params) != OpenRecordingParamsLayout::kSize) {
    return 0;
  }
  exports::Services& services = exports::services();
  services.inputInUse.store(true);
  if (services.broker == nullptr) throw EngineError(RecordDevice::kNoEngineMessage);
  auto device = std::make_shared<RecordDevice>(
      RecordSeams{services.board, *services.broker, services.switcher, services.mode, services.registry,
                  qvf::diskStorage(), services.clock, services.stopRecordingWhenFramesAreDropped});
  void* const handle = device.get();
  services.recordDevices.add(handle, std::move(device));
  *out = handle;
  {
    // A failed launch is reported with the device already with the host.
    std::lock_guard guard(services.inputPreviewLock);
    if (!services.inputPreview && settings::ReadConfigInt(kPreviewKey, 1) != 0) {
      services.inputPreview = preview::PreviewProcess::launch(preview::kScryIn);
    }
  }
  services.recordDeviceWasOpened.store(true);
  return 1;
}

std::int32_t setRecordingSettings(void* address) {
  using L = RecordingSettingsLayout;
  if (address == nullptr || exports::recordSize(address) < L::kMinimumSize) return 0;
  HostRecord settings(address, L::kMinimumSize);
  const VideoMode& mode = exports::services().mode;
  settings.setFixedWords(kRecordingSettingsFixedWords);
  exports::writeFormatDescriptor(settings, L::kFormat, exports::kFormat422, mode.frameWidth, mode.frameHeight,
                                 mode, kRecording422Flags);
  if ((settings.u32(L::kFlags) & kShowDialogFlag) != 0) showInputSettingsDialog(exports::services());
  return 1;
}

std::int32_t getRecordingInfo(void* address) {
  if (address == nullptr) return 0;
  HostRecord info(address, kRecordingInfoExtent);
  info.setFixedWords(kRecordingInfoWords);
  return 1;
}

std::int32_t getPositionRecording(void* handle, void* address) {
  using L = RecordingPositionLayout;
  if (address == nullptr || exports::recordSize(address) != L::kSize) return 0;
  const std::shared_ptr<RecordDevice> device = deviceOf(handle);
  if (!device) return 0;
  const RecordDevice::Position position = device->position();
  HostRecord(address, L::kSize).setU32(L::kPosition, position.frames);
  return position.intact ? 1 : 0;
}

std::int32_t addRecordingFile(void* handle, void* address) {
  using L = RecordingFileParamsLayout;
  if (address == nullptr || exports::recordSize(address) != L::kSize) return 0;
  const std::shared_ptr<RecordDevice> device = deviceOf(handle);
  if (!device) return 0;
  const HostRecord params(address, L::kSize);
  if (params.u32(L::kModuleHandle) != ownModuleHandle()) return 0;
  const auto* path = static_cast<const char*>(params.address(L::kPath));
  return device->addFile(params.u32(L::kFrameLimit), path) ? 1 : 0;
}

std::int32_t removeRecordingFile(void* handle, void* address) {
  if (address == nullptr || exports::recordSize(address) != RemoveRecordingFileParamsLayout::kSize) return 0;
  const std::shared_ptr<RecordDevice> device = deviceOf(handle);
  if (!device) return 0;
  device->removeFile();
  return 1;
}

std::int32_t startRecording(void* handle) {
  const std::shared_ptr<RecordDevice> device = deviceOf(handle);
  if (!device) return 0;
  device->start();
  return 1;
}

std::int32_t stopRecording(void* handle) {
  const std::shared_ptr<RecordDevice> device = deviceOf(handle);
  if (!device) return 0;
  device->stop();
  return 1;
}

// A handle closed twice is found the first time only.
std::int32_t closeRecording(void* handle) {
  exports::Services& services = exports::services();
  std::shared_ptr<RecordDevice> device = services.recordDevices.remove(handle);
  if (!device) return 0;
  {
    std::lock_guard guard(services.inputPreviewLock);
    settings::WriteConfigInt(kPreviewKey, preview::closePreview(services.inputPreview));
  }
  device->close();
  reportTake(*device);
  device.reset();
  services.inputPrepared.store(false);
  services.inputInUse.store(false);
  return 1;
}

}  // namespace
}  // namespace corvane::record

using corvane::exports::reportError;
using corvane::exports::unguarded;

CORVANE_EXPORT std::int32_t AVFILE_OpenRecording(void** out, void* params) {
  return reportError("AVFILE_OpenRecording", [&] { return corvane::record::openRecording(out, params); });
}

CORVANE_EXPORT std::int32_t AVFILE_SetRecordingSettings(void* settings) {
  return unguarded([&] { return corvane::record::setRecordingSettings(settings); });
}

CORVANE_EXPORT std::int32_t AVFILE_GetRecordingInfo(void*, void* info) {
  return unguarded([&] { return corvane::record::getRecordingInfo(info); });
}

CORVANE_EXPORT std::int32_t AVFILE_StartRecording(void* device) {
  return unguarded([&] { return corvane::record::startRecording(device); });
}

CORVANE_EXPORT std::int32_t AVFILE_StopRecording(void* device) {
  return unguarded([&] { return corvane::record::stopRecording(device); });
}

CORVANE_EXPORT std::int32_t AVFILE_GetPositionRecording(void* device, void* position) {
  return unguarded([&] { return corvane::record::getPositionRecording(device, position); });
}

CORVANE_EXPORT std::int32_t AVFILE_AddRecordingFile(void* device, void* params) {
  return unguarded([&] { return corvane::record::addRecordingFile(device, params); });
}

CORVANE_EXPORT std::int32_t AVFILE_RemoveRecordingFile(void* device, void* params) {
  return unguarded([&] { return corvane::record::removeRecordingFile(device, params); });
}

CORVANE_EXPORT std::int32_t AVFILE_CloseRecording(void* device) {
  return reportError("AVFILE_CloseRecording", [&] { return corvane::record::closeRecording(device); });
}
