#include "board/input_probe.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "board/field_clock.h"
#include "board/input_picture.h"

namespace corvane::board {
namespace {

using Info = engine::FrameInfoLayout;

// Handles carry their own high byte, like the switcher's, so that a handle of
// one kind passed as another is refused.
constexpr engine::Handle kEngineHandle = 0x45000001;
constexpr engine::Handle kObjectHandle = 0x4F000001;
constexpr engine::Handle kProbeHandle = 0x50000001;
constexpr std::string_view kInputPin = "media.pins.corvane.vin0.out";
// Longest sleep between two looks at the stop flag.
constexpr std::uint32_t kLongestNap = 5;
// A preview shows at most this often; copying every frame of a fast input
// would only slow the input down.
constexpr std::uint64_t kMonitorPeriodMicros = 20'000;

void putU32(std::array<std::uint8_t, Info::kSize>& info, std::uint32_t at, std::uint32_t value) {
  for (std::uint32_t i = 0; i < 4; ++i) info[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

InputProbe::InputProbe(const BoardConfig& config, Switcher& switcher, const ShownFrame& shown,
                       MonitorWriter* monitor, CallLog& log, platform::Clock& clock)
    : config_(config),
      switcher_(switcher),
      shown_(shown),
      monitor_(monitor),
      log_(log),
      clock_(clock),
      nextCount_(config.firstCount) {}

InputProbe::~InputProbe() {
  std::lock_guard delivery(deliveryLock_);
  stopDelivery();
}

engine::Handle InputProbe::openEngine() {
  std::lock_guard guard(lock_);
  log_.write("OpenEngine");
  engine_ = kEngineHandle;
  return engine_;
}

engine::Handle InputProbe::findEngineObject(engine::Handle engine) {
  std::lock_guard guard(lock_);
  log_.write("FindEngineObject");
  return engine != 0 && engine == engine_ ? kObjectHandle : 0;
}

engine::Handle InputProbe::createProbe(engine::Handle object, const char* name) {
  std::lock_guard guard(lock_);
  log_.write("CreateProbe " + std::string(logText(name)));
  if (object != kObjectHandle || engine_ == 0 || name == nullptr) return 0;
  probe_ = kProbeHandle;
  return probe_;
}

std::int32_t InputProbe::attach(engine::Handle probe, const char* pinName) {
  if (pinName == nullptr) return detach(probe);
  std::lock_guard guard(lock_);
  log_.write("AttachProbe " + std::string(logText(pinName)));
  if (probe == 0 || probe != probe_) return 0;
  attached_ = kInputPin == pinName;
  return attached_ ? 1 : 0;
}

std::int32_t InputProbe::detach(engine::Handle probe) {
  std::lock_guard delivery(deliveryLock_);
  {
    std::lock_guard guard(lock_);
    log_.write("AttachProbe " + std::string(logText(nullptr)));
    if (probe == 0 || probe != probe_) return 0;
    attached_ = false;
  }
  stopDelivery();
  return 1;
}

std::int32_t InputProbe::setCallback(engine::Handle probe, void* context, engine::ProbeCallback callback) {
  std::lock_guard delivery(deliveryLock_);
  {
    std::lock_guard guard(lock_);
    log_.write("SetProbeCallback");
    if (probe == 0 || probe != probe_ || !attached_ || callback == nullptr) return 0;
  }
  stopDelivery();
  stop_.store(false, std::memory_order_relaxed);
  const std::error_code started = delivery_.start({"board input", platform::ThreadPriority::Normal},
                                                  [this, context, callback] { deliver(context, callback); });
  return started ? 0 : 1;
}

std::int32_t InputProbe::fieldParity(const std::uint8_t* stamp) {
  log_.write("FieldParity");
  return stamp == nullptr ? 0 : stamp[0] & 1;
}

std::uint32_t InputProbe::source(engine::Handle probe) {
  log_.write("GetProbeSource");
  return probe;
}

void InputProbe::destroyProbe(engine::Handle probe) {
  std::lock_guard delivery(deliveryLock_);
  {
    std::lock_guard guard(lock_);
    log_.write("DestroyProbe");
    if (probe == 0 || probe != probe_) return;
    attached_ = false;
    probe_ = 0;
  }
  stopDelivery();
}

void InputProbe::closeEngine(engine::Handle engine) {
  std::lock_guard guard(lock_);
  log_.write("CloseEngine");
  if (engine == engine_) engine_ = 0;
}

void InputProbe::returnFrame(std::uint32_t source, std::uint32_t frameIdentifier) {
  if (!log_.enabled()) return;  // called for every field
  log_.write("ReturnInputFrame " + std::to_string(source) + " " + std::to_string(frameIdentifier));
}

void InputProbe::stopDelivery() {
  stop_.store(true, std::memory_order_relaxed);
  delivery_.join();
}

bool InputProbe::waitUntil(std::uint64_t due) {
  for (std::uint64_t now = clock_.microseconds(); now < due; now = clock_.microseconds()) {
    if (stop_.load(std::memory_order_relaxed)) return false;
    const std::uint64_t ms = std::min<std::uint64_t>((due - now + 999) / 1000, kLongestNap);
    clock_.sleepMilliseconds(static_cast<std::uint32_t>(ms));
  }
  return !stop_.load(std::memory_order_relaxed);
}

void InputProbe::deliver(void* context, engine::ProbeCallback callback) {
  const VideoStandard carried = config_.faults.inputStandardFor(loaded_.load(std::memory_order_relaxed));
  InputPicture picture(config_, carried, shown_);
  const FieldClock grid(clock_, config_.inputRate.fieldRate(carried));
  const bool fast = config_.inputRate.pace == InputRate::Pace::Fast;
  const std::uint64_t start = clock_.microseconds();
  std::array<std::uint8_t, Info::kSize> info{};
  putU32(info, Info::kSamplesPerLine, samplesPerLine(carried));
  std::uint32_t count = 0;
  std::uint64_t published = 0;
  // Every field is delivered, late ones at once: the field grid stays
  // absolute, and a slow taker shows as a full queue, never as a skip.
  for (std::uint64_t field = 0;; ++field) {
    const std::uint64_t inputFrame = field / 2 + 1;
    const auto parity = field % 2 == 0 ? FieldParity::First : FieldParity::Second;
    if (config_.faults.inputFrames && inputFrame > *config_.faults.inputFrames) {
      while (waitUntil(clock_.microseconds() + 1000 * kLongestNap)) {
      }  // silent until stopped
      return;
    }
    const bool paced = !(fast && switcher_.countAsked());
    if (paced ? !waitUntil(start + grid.fieldStart(field)) : stop_.load(std::memory_order_relaxed)) return;
    if (!config_.faults.deliversField(inputFrame, parity)) continue;
    if (parity == FieldParity::First) count = nextCount_++;
    const std::span<std::uint8_t> pixels = picture.fill(inputFrame, count, parity);
    const std::uint32_t identifier = nextIdentifier_++;
    putU32(info, Info::kFrameIdentifier, identifier);
    putU32(info, Info::kFrameCount, count);
    putU32(info, Info::kParityStamp, static_cast<std::uint32_t>(parity));
    if (log_.enabled()) {
      log_.write("deliver " + std::to_string(identifier) + " " + std::to_string(count) + " " +
                 std::to_string(static_cast<int>(parity)));
    }
    if (parity == FieldParity::First) switcher_.setFrameCount(count);
    callback(context, pixels.data(), info.data());
    if (monitor_ != nullptr && parity == FieldParity::Second) {
      const std::uint64_t now = clock_.microseconds();
      if (published == 0 || now - published >= kMonitorPeriodMicros) {
        published = now;
        monitor_->publish(MonitorChannel::Input, picture.frame(), 2 * linesPerField(carried));
      }
    }
  }
}

}  // namespace corvane::board
