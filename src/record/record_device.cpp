#include "record/record_device.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "engine/error.h"

namespace corvane::record {
namespace {

constexpr const char* kNoMediaProbe = "Could not create media probe !";
constexpr const char* kNoProbe = "Could not create Probe !";
constexpr const char* kProbeName = "media.apps.Veltrix.probe";
constexpr long kInputNumber = 0;

// Each slot on whole pages, with room to start the first on a large page.
std::size_t slotStride(std::size_t frameBytes) { return platform::wholePages(frameBytes); }

std::size_t slotMemoryBytes(std::size_t frameBytes) {
  return RecordDevice::kSlots * slotStride(frameBytes) + platform::largePageSize() - platform::pageSize();
}

}  // namespace

RecordDevice::RecordDevice(const RecordSeams& seams)
    : seams_(seams),
      fieldBytes_(std::size_t{seams.mode.frameWidth} * seams.mode.frameHeight),
      slotMemory_(slotMemoryBytes(2 * fieldBytes_)) {
  const std::size_t stride = slotStride(2 * fieldBytes_);
  const std::size_t large = platform::largePageSize();
  const auto start = reinterpret_cast<std::uintptr_t>(slotMemory_.data());
  const std::span<std::uint8_t> memory =
      slotMemory_.bytes().subspan((large - start % large) % large, kSlots * stride);
  platform::prepareForTransfers(memory);
  slots_.reserve(kSlots);
  for (std::size_t i = 0; i < kSlots; ++i) slots_.emplace_back(memory.subspan(i * stride, 2 * fieldBytes_));
  for (std::size_t i = kSlots; i-- > 0;) {  // slot 0 at the head, slot 19 last
    slots_[i].next = freeSlots_;
    freeSlots_ = &slots_[i];
  }
  if (captureThread_.start({"capture", platform::ThreadPriority::TimeCritical}, [this] { captureLoop(); })) {
    throw std::bad_alloc();
  }
  try {
    openProbe();
  } catch (...) {
    closeProbe();
    stopCaptureThread();
    throw;
  }
}

RecordDevice::~RecordDevice() { close(); }

void RecordDevice::close() noexcept {
  if (std::exchange(closed_, true)) return;
  capturing_.store(false, std::memory_order_relaxed);
  closeProbe();  // the board calls no callback once the probe is detached
  assemblingSlot_ = nullptr;
  for (;;) {
    {
      std::lock_guard guard(lock_);
      if (filledSlots_ == nullptr) break;
    }
    seams_.clock.sleepMilliseconds(1);
  }
  stopCaptureThread();
  // With no capture thread left, nothing else would clear the path, and a
  // stop on another of the host's threads would wait for it for ever.
  std::lock_guard guard(lock_);
  recordPath_.reset();
}

void RecordDevice::openProbe() {
  engine_ = seams_.board.OpenEngine();
  if (engine_ == 0) throw EngineError(kNoEngineMessage);
  char pin[64];
  std::snprintf(pin, sizeof pin, "media.pins.corvane.vin%ld.out", kInputNumber);
  probe_ = seams_.board.CreateProbe(seams_.board.FindEngineObject(engine_), kProbeName);
  if (probe_ == 0) throw EngineError(kNoMediaProbe);
  if (seams_.board.AttachProbe(probe_, pin) == 0) throw EngineError(kNoProbe);
  seams_.board.SetProbeCallback(probe_, this, &RecordDevice::onInputField);
}

void RecordDevice::closeProbe() noexcept {
  if (probe_ != 0) {
    seams_.board.AttachProbe(probe_, nullptr);
    seams_.board.DestroyProbe(probe_);
    probe_ = 0;
  }
  if (engine_ != 0) {
    seams_.board.CloseEngine(engine_);
    engine_ = 0;
  }
}

void RecordDevice::stopCaptureThread() noexcept {
  stopThread_.store(true, std::memory_order_relaxed);
  captureThread_.join();
}

void RecordDevice::start() {
  const std::uint32_t count = seams_.board.CurrentFrameCount(seams_.switcher, 0, 0);
  std::lock_guard guard(lock_);
  ++takeNumber_;
  startCount_.store(count, std::memory_order_relaxed);
  framesWritten_.store(0, std::memory_order_relaxed);
  lostFrames_.store(0, std::memory_order_relaxed);
  firstWriteError_.store(0, std::memory_order_relaxed);
  lost_.reset();
  stopCount_.store(kNone, std::memory_order_relaxed);
  endTakeRequested_.store(false, std::memory_order_relaxed);
  expectedField_.store(0, std::memory_order_relaxed);
  // Last: the callback reads the take's words once it sees capturing.
  capturing_.store(true, std::memory_order_release);
}

void RecordDevice::stop() {
  stopCount_.store(seams_.board.CurrentFrameCount(seams_.switcher, 0, 0), std::memory_order_relaxed);
  if (startCount_.load(std::memory_order_relaxed) != kNone) waitForTakeToEnd();
}

RecordDevice::Position RecordDevice::position() const {
  return {framesWritten_.load(std::memory_order_relaxed), lostFrames_.load(std::memory_order_relaxed) == 0};
}

bool RecordDevice::addFile(std::uint32_t frameLimit, const char* path) {
  if (path != nullptr && std::strlen(path) > kMaxPathLength) return false;
  // Only a stop in progress is waited for: with no stop, nothing would ever
  // release the previous file and the host's thread would hang.
  if (stopCount_.load(std::memory_order_relaxed) != kNone &&
      startCount_.load(std::memory_order_relaxed) != kNone) {
    waitForTakeToEnd();
  }
  {
    std::lock_guard guard(lock_);
    recordPath_.reset();
    if (path != nullptr) recordPath_ = path;
  }
  frameLimit_.store(frameLimit == 0 ? kNone : frameLimit, std::memory_order_relaxed);
  return true;
}

void RecordDevice::removeFile() {
  std::lock_guard guard(lock_);
  recordPath_.reset();
}

bool RecordDevice::pathSet() {
  std::lock_guard guard(lock_);
  return recordPath_.has_value();
}

void RecordDevice::waitForTakeToEnd() {
  std::uint32_t seen = framesTaken_.load(std::memory_order_relaxed);
  std::uint64_t quietSince = seams_.clock.microseconds();
  while (pathSet()) {
    seams_.clock.sleepMilliseconds(1);
    const std::uint64_t now = seams_.clock.microseconds();
    const std::uint32_t taken = framesTaken_.load(std::memory_order_relaxed);
    if (taken != seen) {
      seen = taken;
      quietSince = now;
    } else if (now - quietSince >= std::uint64_t{kStallMilliseconds} * 1000) {
      endTakeRequested_.store(true, std::memory_order_relaxed);
    }
  }
}

}  // namespace corvane::record
