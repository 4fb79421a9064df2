// The output device's exports: each reads the host's records, calls the
// output device and writes the answer. The device checks every handle against
// those it gave out and has not closed; an unknown one gets 0 and no message.
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "exports/export.h"
#include "exports/format_descriptor.h"
#include "exports/host_record.h"
#include "exports/interface_descriptor.h"
#include "exports/pixel_format.h"
#include "exports/report_error.h"
#include "exports/services.h"
#include "settings/config_store.h"
#include "sink/output_device.h"
#include "sink/output_settings_dialog.h"
#include "sink/sink_record.h"

namespace corvane::sink {
namespace {

using exports::HostRecord;
using exports::PixelFormat;
using FD = exports::FormatDescriptorLayout;

struct OpenSinkParamsLayout {
  static constexpr std::size_t kWord16 = 16;
  static constexpr std::size_t kWord20 = 20;
  static constexpr std::size_t kChosenFormat = 24;  // address of a FormatDescriptor
  static constexpr std::size_t kWord32 = 32;
  static constexpr std::size_t kWord36 = 36;
  static constexpr std::size_t kStartEvent = 40;
  static constexpr std::size_t kHostStructure = 48;  // address; its bytes 20-23 are copied
  static constexpr std::size_t kHostStructureWord = 20;
  static constexpr std::size_t kExtent = 52;
};

struct SinkInfoLayout {
  static constexpr std::size_t kAbilities = 4;
  static constexpr std::size_t kFormats = 12;  // address
  static constexpr std::size_t kFormatCount = 16;
  static constexpr std::size_t kZeros = 1056;
  static constexpr std::size_t kZeroBytes = 12;
  static constexpr std::size_t kExtent = 1068;
};
constexpr exports::FixedWord kSinkInfoFixedWords[] = {{8, 8}, {28, 2}};
constexpr std::uint32_t kAbilities = 0x28;
constexpr std::uint32_t kNoFrameDropAbility = 0x80;

struct SinkSettingsLayout {
  static constexpr std::size_t kFlags = 4;
  static constexpr std::size_t kExtent = 16;
};
constexpr std::uint32_t kShowDialogFlag = 0x1;

struct SinkBufferLayout {
  static constexpr std::size_t kSizeWord = 0;
  static constexpr std::size_t kFlags = 4;
  static constexpr std::size_t kFormat = 8;  // FormatDescriptor
  static constexpr std::size_t kTimeLow = 472;
  static constexpr std::size_t kTimeHigh = 476;
  static constexpr std::size_t kData = 480;  // address
  static constexpr std::size_t kDataSize = 484;
  static constexpr std::size_t kMinimumSize = 496;
  static constexpr std::size_t kExtent = 488;
};
static_assert(SinkBufferLayout::kFormat + FD::kSize < SinkBufferLayout::kTimeLow);

constexpr std::uint32_t kDropFlag = 0x1;
constexpr const char* kPreviewKey = "VeltrixScryOut";

OutputDevice& device() { return exports::services().outputDevice; }

SinkOpenRequest readOpenParams(void* params) {
  using P = OpenSinkParamsLayout;
  const HostRecord host(params, P::kExtent);
  HostRecord chosen(host.address(P::kChosenFormat), FD::kSize);
  const HostRecord structure(host.address(P::kHostStructure), P::kHostStructureWord + 4);
  SinkOpenRequest request;
  std::memcpy(request.chosenFormat.data(), chosen.bytes(0, FD::kSize), FD::kSize);
  request.hostWord48At20 = structure.u32(P::kHostStructureWord);
  request.word16 = host.u32(P::kWord16);
  request.word20 = host.u32(P::kWord20);
  request.word32 = host.u32(P::kWord32);
  request.word36 = host.u32(P::kWord36);
  return request;
}

// A failed open leaves the host no handle to misuse.
std::int32_t openSink(void** handleOut, void* params) {
  if (handleOut == nullptr) return 0;
  *handleOut = nullptr;
  // Stopped again should the rest of the open fail.
  std::unique_ptr<preview::PreviewProcess> preview =
      OutputDevice::launchPreview(settings::ReadConfigInt(kPreviewKey, 1) != 0);
  const SinkOpenRequest request = readOpenParams(params);
  void* handle = device().open(request, std::move(preview));
  if (handle == nullptr) return 0;
  *handleOut = handle;
  const HostRecord record(handle, SinkRecordLayout::kSize);
  HostRecord(params, OpenSinkParamsLayout::kExtent)
      .setU32(OpenSinkParamsLayout::kStartEvent, record.u32(SinkRecordLayout::kStartEvent));
  return 1;
}

std::int32_t setSinkSettings(void* settings) {
  if (settings == nullptr) return 0;
  const HostRecord record(settings, SinkSettingsLayout::kExtent);
  if ((record.u32(SinkSettingsLayout::kFlags) & kShowDialogFlag) != 0)
    showOutputSettingsDialog(exports::services());
  return 1;
}

std::int32_t getSinkInfo(void* handle, void* info) {
  using L = SinkInfoLayout;
  if (info == nullptr) return 0;
  const std::uint8_t* formats = device().offeredFormats(handle);
  if (formats == nullptr) return 0;
  HostRecord record(info, L::kExtent);
  std::uint32_t abilities = kAbilities;
  if (exports::services().startup.ForceNoFrameDrop.Get() != 0) abilities |= kNoFrameDropAbility;
  record.setU32(L::kAbilities, abilities);
  record.setAddress(L::kFormats, formats);
  record.setU32(L::kFormatCount, SinkRecordLayout::kOfferedCount);
  record.setFixedWords(kSinkInfoFixedWords);
  std::memset(record.bytes(L::kZeros, L::kZeroBytes), 0, L::kZeroBytes);
  return 1;
}

bool isBufferRecord(void* address) {
  return address != nullptr && exports::recordSize(address) >= SinkBufferLayout::kMinimumSize;
}

std::optional<PixelFormat> bufferFormat(const HostRecord& record) {
  return exports::matchFormatIgnoringCase(
      record.text(SinkBufferLayout::kFormat + FD::kPixelFormatId, FD::kTextCapacity));
}

std::int32_t sinkGetEmptyBuffer(void* handle, void* address) {
  using L = SinkBufferLayout;
  if (!isBufferRecord(address) || !device().isOpen(handle)) return 0;
  HostRecord record(address, L::kExtent);
  record.probeWritable();
  const VideoMode& mode = exports::services().mode;
  record.setU32(L::kFormat + FD::kWidth, mode.frameWidth);
  record.setU32(L::kFormat + FD::kHeight, mode.frameHeight);
  if (std::optional<PixelFormat> format = bufferFormat(record)) {
    record.setU32(L::kFormat + FD::kFrameBytes,
                  exports::frameBytes(*format, mode.frameWidth, mode.frameHeight));
    record.setU32(L::kFlags, exports::formatId(*format).flags);
  }
  std::uint8_t* data = device().takeEmptyBuffer(handle);
  if (data == nullptr) return 0;
  record.setAddress(L::kData, data);
  record.setU32(L::kTimeLow, 0);
  record.setU32(L::kTimeHigh, 0);
  record.setU32(L::kDataSize, record.u32(L::kFormat + FD::kFrameBytes));
  return 1;
}

std::int32_t sinkAddFullBuffer(void* handle, void* address) {
  using L = SinkBufferLayout;
  if (!isBufferRecord(address)) return 0;
  const HostRecord record(address, L::kExtent);
  FullBuffer buffer;
  buffer.data = static_cast<std::uint8_t*>(record.address(L::kData));
  buffer.presentationTime =
      static_cast<std::int64_t>(std::uint64_t{record.u32(L::kTimeHigh)} << 32 | record.u32(L::kTimeLow));
  buffer.drop = (record.u32(L::kFlags) & kDropFlag) != 0;
  buffer.format = bufferFormat(record);
  buffer.dataSize = record.u32(L::kDataSize);
  return device().addFullBuffer(handle, buffer);
}

// The engine of a query; a failure here cannot be answered with 0, since the
// host would go on without the device it asked for: it ends the process.
void makeEngine(exports::Services& services) {
  std::string failure;
  try {
    services.outputDevice.makeEngine();
    return;
  } catch (const EngineError& error) {
    failure = std::string("Error in startup : ") + error.what();
  } catch (...) {
    failure = "Error in startup : ##UNKNOWN##";
  }
  if (services.startupFailed) services.startupFailed(failure);
}

}  // namespace
}  // namespace corvane::sink

using corvane::exports::reportError;
using corvane::exports::unguarded;

CORVANE_EXPORT std::int32_t AVFILE_QueryInterfaceSink(void* descriptor) {
  return reportError("AVFILE_QueryInterfaceSink", [&]() -> std::int32_t {
    if (corvane::exports::fillInterfaceDescriptor(descriptor, corvane::exports::kOutputDevice) == 0) return 0;
    corvane::exports::Services& services = corvane::exports::services();
    services.inputPrepared.store(false, std::memory_order_relaxed);
    corvane::sink::makeEngine(services);
    return 1;
  });
}

CORVANE_EXPORT std::int32_t AVFILE_CloseInterfaceSink(void*) {
  return reportError("AVFILE_CloseInterfaceSink", []() -> std::int32_t {
    if (auto* services = corvane::exports::installedServices()) services->outputDevice.closeEngine();
    return 1;
  });
}

CORVANE_EXPORT std::int32_t AVFILE_OpenSink(void** handle, void* params) {
  return reportError("AVFILE_OpenSink", [&] { return corvane::sink::openSink(handle, params); });
}

// The dialog's procedure carries its own guard; the export has none.
CORVANE_EXPORT std::int32_t AVFILE_SetSinkSettings(void* settings) {
  return unguarded([&]() -> std::int32_t { return corvane::sink::setSinkSettings(settings); });
}

CORVANE_EXPORT std::int32_t AVFILE_GetSinkInfo(void* handle, void* info) {
  return unguarded([&] { return corvane::sink::getSinkInfo(handle, info); });
}

CORVANE_EXPORT std::int32_t AVFILE_SinkGetEmptyBuffer(void* handle, void* record) {
  return reportError("AVFILE_SinkGetEmptyBuffer",
                     [&] { return corvane::sink::sinkGetEmptyBuffer(handle, record); });
}

CORVANE_EXPORT std::int32_t AVFILE_SinkAddFullBuffer(void* handle, void* record) {
  return reportError("AVFILE_SinkAddFullBuffer",
                     [&] { return corvane::sink::sinkAddFullBuffer(handle, record); });
}

// Touches nothing, so any handle but null is answered as the host expects.
CORVANE_EXPORT std::int32_t AVFILE_QueueSink(void* handle) { return handle != nullptr ? 1 : 0; }

CORVANE_EXPORT std::int32_t AVFILE_StartSink(void* handle) {
  return reportError("AVFILE_StartSink", [&] { return corvane::sink::device().start(handle) ? 1 : 0; });
}

CORVANE_EXPORT std::int32_t AVFILE_StopSink(void* handle) {
  return reportError("AVFILE_StopSink", [&] { return corvane::sink::device().stop(handle) ? 1 : 0; });
}

CORVANE_EXPORT std::int32_t AVFILE_CloseSink(void* handle) {
  return reportError("AVFILE_CloseSink", [&] { return corvane::sink::device().close(handle) ? 1 : 0; });
}
