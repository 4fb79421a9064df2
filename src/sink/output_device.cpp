#include "sink/output_device.h"

#include <new>

#include "settings/config_store.h"
#include "sink/peak_levels.h"

namespace corvane::sink {
namespace {

constexpr std::uint32_t kDrainPauseMs = 50;
constexpr const char* kEngineStreamName = "media.apps.Veltrix";
constexpr const char* kPreviewKey = "VeltrixScryOut";

SourceLayout sourceLayoutOf(exports::PixelFormat format) {
  switch (format) {
    case exports::PixelFormat::Ycbcr422:
      return SourceLayout::Yuv422;
    case exports::PixelFormat::Ycbcr444:
      return SourceLayout::Yuv444;
    case exports::PixelFormat::Rgba32:
      break;
  }
  return SourceLayout::Rgba32;
}

}  // namespace

OutputDevice::OutputDevice(const OutputDeviceSeams& seams) : seams_(seams) {}

OutputDevice::~OutputDevice() { end(); }

std::shared_ptr<PlaybackEngine> OutputDevice::engine() const {
  std::lock_guard guard(engineLock_);
  return engine_;
}

void OutputDevice::makeEngine() {
  std::shared_ptr<PlaybackEngine> engine = std::make_shared<PlaybackEngine>(
      PlaybackSeams{seams_.board, seams_.clock, &kept_, seams_.frameDropped}, PlaybackEngine::kBufferCount,
      seams_.mode.isNtsc != 0, kEngineStreamName);
  // A second query keeps only the new engine; the old one ends outside the lock.
  std::lock_guard guard(engineLock_);
  engine_.swap(engine);
}

void OutputDevice::closeEngine() {
  std::shared_ptr<PlaybackEngine> engine;
  {
    std::lock_guard guard(engineLock_);
    engine = std::move(engine_);
  }
  // Ended here, outside the lock: its teardown waits for the thread.
}

// A preview whose record cannot be had is gone without; one that cannot be
// started is the open's failure.
std::unique_ptr<preview::PreviewProcess> OutputDevice::launchPreview(bool wanted) {
  if (!wanted) return nullptr;
  try {
    return preview::PreviewProcess::launch(preview::kScryOut);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void* OutputDevice::open(const SinkOpenRequest& request, std::unique_ptr<preview::PreviewProcess> preview) {
  std::shared_ptr<SinkRecord> record;
  try {
    record = std::make_shared<SinkRecord>(request, seams_.mode, std::move(preview));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  void* handle = record->handle();
  handles_.add(handle, std::move(record));
  return handle;
}

bool OutputDevice::isOpen(const void* handle) const { return handles_.find(handle) != nullptr; }

const std::uint8_t* OutputDevice::offeredFormats(const void* handle) const {
  const std::shared_ptr<SinkRecord> record = handles_.find(handle);
  return record ? record->offeredFormats() : nullptr;
}

std::uint8_t* OutputDevice::takeEmptyBuffer(const void* handle) {
  if (!isOpen(handle)) return nullptr;
  const std::shared_ptr<PlaybackEngine> engine = this->engine();
  return engine ? engine->takeEmptyBuffer() : nullptr;
}

std::int32_t OutputDevice::addFullBuffer(const void* handle, const FullBuffer& buffer) {
  if (!isOpen(handle)) return 0;
  const std::shared_ptr<PlaybackEngine> engine = this->engine();
  if (!engine) return 0;
  FramePool& pool = engine->pool();
  if (buffer.drop || buffer.presentationTime < 0 || buffer.data == nullptr) {
    if (buffer.data != nullptr) pool.release(buffer.data);
    return 0;
  }
  if (buffer.presentationTime == 0) {
    pool.flush();
    // Only a buffer of the pool is touched, and only within it.
    const std::span<std::uint8_t> pixels = pool.heldBuffer(buffer.data);
    if (buffer.format == exports::PixelFormat::Ycbcr422) lowerPeakBytes(pixels, buffer.dataSize, 4);
    if (buffer.format == exports::PixelFormat::Ycbcr444) lowerPeakBytes(pixels, buffer.dataSize, 3);
  }
  if (!buffer.format) {
    pool.release(buffer.data);
    return 1;
  }
  pool.queue(buffer.data, sourceLayoutOf(*buffer.format), buffer.presentationTime);
  return 1;
}

bool OutputDevice::start(const void* handle) {
  const std::shared_ptr<SinkRecord> record = handles_.find(handle);
  if (!record) return false;
  record->markStarted();
  const std::shared_ptr<PlaybackEngine> engine = this->engine();
  if (!engine) return false;
  engine->startPlayback();
  return true;
}

void OutputDevice::drain(PlaybackEngine& engine) {
  engine.waitUntilDrained();
  seams_.clock.sleepMilliseconds(kDrainPauseMs);
}

bool OutputDevice::stop(const void* handle) {
  if (!isOpen(handle)) return false;
  const std::shared_ptr<PlaybackEngine> engine = this->engine();
  if (!engine) return false;
  drain(*engine);
  engine->stopPlayback();
  return true;
}

bool OutputDevice::close(const void* handle) {
  std::shared_ptr<SinkRecord> record = handles_.remove(handle);
  if (!record) return false;
  if (const std::shared_ptr<PlaybackEngine> engine = this->engine()) drain(*engine);
  settings::WriteConfigInt(kPreviewKey, record->closePreview());
  return true;
}

void OutputDevice::end() noexcept {
  // Records end here (or with the last call still using one).
  handles_.removeAll();
  std::shared_ptr<PlaybackEngine> engine;
  {
    std::lock_guard guard(engineLock_);
    engine = std::move(engine_);
  }
  if (engine) engine->skipTeardownPause();
}

}  // namespace corvane::sink
