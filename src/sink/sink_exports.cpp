// The output device's exports. The query makes the one playback engine of the
// process and the interface's close ends it; every other call acts on that
// engine whichever handle it is given. The handle is a plug-in-owned record
// that the host reads: the offered formats, copies of the host's words, the
// start event and the preview program.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <string>

#include "exports/export.h"
#include "exports/format_descriptor.h"
#include "exports/host_record.h"
#include "exports/interface_descriptor.h"
#include "exports/pixel_format.h"
#include "exports/report_error.h"
#include "exports/services.h"
#include "platform/event.h"
#include "preview/preview_process.h"
#include "settings/config_store.h"
#include "sink/output_conversion.h"
#include "sink/output_settings_dialog.h"
#include "sink/peak_levels.h"
#include "sink/playback_engine.h"

namespace corvane::sink {
namespace {

using exports::HostRecord;
using exports::PixelFormat;
using FD = exports::FormatDescriptorLayout;

struct SinkRecordLayout {
  static constexpr std::size_t kSizeWord = 0;
  static constexpr std::size_t kOffered = 4;  // three FormatDescriptors: 4:2:2, 4:4:4, RGBA-32
  static constexpr std::size_t kHostWord48At20 = 712;
  static constexpr std::size_t kHostWord36 = 716;
  static constexpr std::size_t kChosenFormat = 720;  // FormatDescriptor
  static constexpr std::size_t kHostWord16 = 956;
  static constexpr std::size_t kHostWord20 = 960;
  static constexpr std::size_t kHostWord32 = 964;
  static constexpr std::size_t kStartEvent = 968;
  static constexpr std::size_t kPreview = 972;  // address
  static constexpr std::size_t kSize = 976;
};
static_assert(SinkRecordLayout::kOffered + 3 * FD::kSize == SinkRecordLayout::kHostWord48At20);
static_assert(SinkRecordLayout::kChosenFormat + FD::kSize == SinkRecordLayout::kHostWord16);

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
constexpr std::uint32_t kDrainPauseMs = 50;
constexpr const char* kEngineStreamName = "media.apps.Veltrix";
constexpr const char* kPreviewKey = "VeltrixScryOut";

std::shared_ptr<PlaybackEngine> currentEngine() {
  exports::Services& services = exports::services();
  std::lock_guard guard(services.outputDeviceLock);
  return std::static_pointer_cast<PlaybackEngine>(services.outputDevice);
}

// The offered formats carry no display name, unlike the file services' tables.
void writeOfferedFormat(HostRecord& record, std::size_t at, const exports::PixelFormatId& format,
                        const VideoMode& mode) {
  record.setU32(at + FD::kSizeWord, FD::kSize);
  record.setU32(at + FD::kWidth, mode.frameWidth);
  record.setU32(at + FD::kHeight, mode.frameHeight);
  record.setText(at + FD::kPixelFormatId, FD::kTextCapacity, format.guid);
  record.setU32(at + FD::kRateNumerator, mode.rateNumerator);
  record.setU32(at + FD::kRateDenominator, mode.rateDenominator);
  record.setU32(at + FD::kFrameBytes, exports::frameBytes(format.format, mode.frameWidth, mode.frameHeight));
  record.setU32(at + FD::kFlags, format.flags);
}

// A preview whose record cannot be had is gone without; one that cannot be
// started is the open's failure.
std::unique_ptr<preview::PreviewProcess> launchPreview() {
  try {
    return preview::PreviewProcess::launch(preview::kScryOut);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void fillSinkRecord(std::uint8_t* bytes, void* params) {
  using L = SinkRecordLayout;
  using P = OpenSinkParamsLayout;
  std::memset(bytes, 0, L::kSize);
  HostRecord record(bytes, L::kSize);
  exports::Services& services = exports::services();

  // Stopped again should the rest of the open fail.
  std::unique_ptr<preview::PreviewProcess> preview;
  if (settings::ReadConfigInt(kPreviewKey, 1) != 0) preview = launchPreview();

  const VideoMode& mode = services.mode;
  writeOfferedFormat(record, L::kOffered, exports::kFormat422, mode);
  writeOfferedFormat(record, L::kOffered + FD::kSize, exports::kFormat444, mode);
  writeOfferedFormat(record, L::kOffered + 2 * FD::kSize, exports::kFormatRgba32, mode);

  HostRecord host(params, P::kExtent);
  HostRecord chosen(host.address(P::kChosenFormat), FD::kSize);
  const HostRecord structure(host.address(P::kHostStructure), P::kHostStructureWord + 4);
  std::memcpy(record.bytes(L::kChosenFormat, FD::kSize), chosen.bytes(0, FD::kSize), FD::kSize);
  record.setU32(L::kHostWord48At20, structure.u32(P::kHostStructureWord));
  record.setU32(L::kHostWord36, host.u32(P::kWord36));
  record.setU32(L::kHostWord16, host.u32(P::kWord16));
  record.setU32(L::kHostWord20, host.u32(P::kWord20));
  record.setU32(L::kHostWord32, host.u32(P::kWord32));

  const std::uint32_t event = platform::createEvent(true);
  record.setU32(L::kStartEvent, event);
  host.setU32(P::kStartEvent, event);
  record.setAddress(L::kPreview, preview.release());
}

// The record goes to the host at once; an open that fails frees it and takes
// it back, so the host is left with no handle to misuse.
std::int32_t openSink(void** handleOut, void* params) {
  if (handleOut == nullptr) return 0;
  std::unique_ptr<std::uint8_t[]> record(new (std::nothrow) std::uint8_t[SinkRecordLayout::kSize]);
  *handleOut = record.get();
  if (!record) return 0;
  try {
    fillSinkRecord(record.get(), params);
  } catch (...) {
    *handleOut = nullptr;
    throw;
  }
  record.release();
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
  if (handle == nullptr || info == nullptr) return 0;
  HostRecord record(info, L::kExtent);
  std::uint32_t abilities = kAbilities;
  if (exports::services().startup.ForceNoFrameDrop.Get() != 0) abilities |= kNoFrameDropAbility;
  record.setU32(L::kAbilities, abilities);
  record.setAddress(L::kFormats, static_cast<std::uint8_t*>(handle) + SinkRecordLayout::kOffered);
  record.setU32(L::kFormatCount, 3);
  record.setFixedWords(kSinkInfoFixedWords);
  std::memset(record.bytes(L::kZeros, L::kZeroBytes), 0, L::kZeroBytes);
  return 1;
}

bool isBufferRecord(void* handle, void* address) {
  return handle != nullptr && address != nullptr &&
         exports::recordSize(address) >= SinkBufferLayout::kMinimumSize;
}

std::optional<PixelFormat> bufferFormat(const HostRecord& record) {
  return exports::matchFormatIgnoringCase(
      record.text(SinkBufferLayout::kFormat + FD::kPixelFormatId, FD::kTextCapacity));
}

std::int32_t sinkGetEmptyBuffer(void* handle, void* address) {
  using L = SinkBufferLayout;
  if (!isBufferRecord(handle, address)) return 0;
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
  const std::shared_ptr<PlaybackEngine> engine = currentEngine();
  if (!engine) return 0;
  record.setAddress(L::kData, engine->takeEmptyBuffer());
  record.setU32(L::kTimeLow, 0);
  record.setU32(L::kTimeHigh, 0);
  record.setU32(L::kDataSize, record.u32(L::kFormat + FD::kFrameBytes));
  return 1;
}

SourceLayout sourceLayoutOf(PixelFormat format) {
  switch (format) {
    case PixelFormat::Ycbcr422:
      return SourceLayout::Yuv422;
    case PixelFormat::Ycbcr444:
      return SourceLayout::Yuv444;
    case PixelFormat::Rgba32:
      break;
  }
  return SourceLayout::Rgba32;
}

std::int32_t sinkAddFullBuffer(void* handle, void* address) {
  using L = SinkBufferLayout;
  if (!isBufferRecord(handle, address)) return 0;
  const HostRecord record(address, L::kExtent);
  const std::shared_ptr<PlaybackEngine> engine = currentEngine();
  if (!engine) return 0;
  FramePool& pool = engine->pool();
  auto* data = static_cast<std::uint8_t*>(record.address(L::kData));
  const std::int64_t time =
      static_cast<std::int64_t>(std::uint64_t{record.u32(L::kTimeHigh)} << 32 | record.u32(L::kTimeLow));
  if ((record.u32(L::kFlags) & kDropFlag) != 0 || time < 0 || data == nullptr) {
    if (data != nullptr) pool.release(data);
    return 0;
  }
  const std::optional<PixelFormat> format = bufferFormat(record);
  if (time == 0) {
    pool.flush();
    // Only a buffer of the pool is touched, and only within it.
    const std::span<std::uint8_t> buffer = pool.heldBuffer(data);
    const std::size_t dataSize = record.u32(L::kDataSize);
    if (format == PixelFormat::Ycbcr422) lowerPeakBytes(buffer, dataSize, 4);
    if (format == PixelFormat::Ycbcr444) lowerPeakBytes(buffer, dataSize, 3);
  }
  if (!format) {
    pool.release(data);
    return 1;
  }
  pool.queue(data, sourceLayoutOf(*format), time);
  return 1;
}

std::int32_t startSink(void* handle) {
  using L = SinkRecordLayout;
  if (handle == nullptr) return 0;
  HostRecord record(handle, L::kSize);
  record.setU32(L::kSizeWord, L::kSize);
  platform::setEvent(record.u32(L::kStartEvent));
  const std::shared_ptr<PlaybackEngine> engine = currentEngine();
  if (!engine) return 0;
  engine->startPlayback();
  return 1;
}

void drain(PlaybackEngine* engine) {
  if (engine == nullptr) return;
  engine->waitUntilDrained();
  exports::services().clock.sleepMilliseconds(kDrainPauseMs);
}

std::int32_t stopSink(void* handle) {
  if (handle == nullptr) return 0;
  const std::shared_ptr<PlaybackEngine> engine = currentEngine();
  if (!engine) return 0;
  drain(engine.get());
  engine->stopPlayback();
  return 1;
}

std::int32_t closeSink(void* handle) {
  using L = SinkRecordLayout;
  if (handle == nullptr) return 0;
  drain(currentEngine().get());
  HostRecord record(handle, L::kSize);
  if (const std::uint32_t event = record.u32(L::kStartEvent); event != 0) platform::closeEvent(event);
  std::unique_ptr<preview::PreviewProcess> preview(
      static_cast<preview::PreviewProcess*>(record.address(L::kPreview)));
  settings::WriteConfigInt(kPreviewKey, preview::closePreview(preview));
  delete[] static_cast<std::uint8_t*>(handle);
  return 1;
}

// The engine of a query; a failure here cannot be answered with 0, since the
// host would go on without the device it asked for: it ends the process.
void makeEngine(exports::Services& services) {
  std::string failure;
  try {
    std::shared_ptr<void> engine = std::make_shared<PlaybackEngine>(
        PlaybackSeams{services.board, services.clock}, PlaybackEngine::kBufferCount,
        services.mode.isNtsc != 0, kEngineStreamName);
    // A second query keeps only the new engine; the old one ends outside the lock.
    {
      std::lock_guard guard(services.outputDeviceLock);
      services.outputDevice.swap(engine);
    }
    return;
  } catch (const EngineError& error) {
    failure = std::string("Error in startup : ") + error.what();
  } catch (...) {
    failure = "Error in startup : ##UNKNOWN##";
  }
  if (services.startupFailed) services.startupFailed(failure);
}

void closeEngine(exports::Services& services) {
  std::shared_ptr<void> engine;
  {
    std::lock_guard guard(services.outputDeviceLock);
    engine = std::move(services.outputDevice);
  }
  // Ended here, outside the lock: its teardown waits for the thread.
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
    if (auto* services = corvane::exports::installedServices()) corvane::sink::closeEngine(*services);
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

CORVANE_EXPORT std::int32_t AVFILE_QueueSink(void* handle) { return handle != nullptr ? 1 : 0; }

CORVANE_EXPORT std::int32_t AVFILE_StartSink(void* handle) {
  return reportError("AVFILE_StartSink", [&] { return corvane::sink::startSink(handle); });
}

CORVANE_EXPORT std::int32_t AVFILE_StopSink(void* handle) {
  return reportError("AVFILE_StopSink", [&] { return corvane::sink::stopSink(handle); });
}

CORVANE_EXPORT std::int32_t AVFILE_CloseSink(void* handle) {
  return reportError("AVFILE_CloseSink", [&] { return corvane::sink::closeSink(handle); });
}
