#include "board/output_stream.h"

#include <cinttypes>
#include <cstdio>
#include <new>
#include <string>

namespace corvane::board {
namespace {

constexpr engine::Handle kStreamHandle = 1;
// The project's writer puts the first frame block here.
constexpr std::streamoff kDataOffset = 512;

std::uint64_t framePeriodMicros(VideoStandard standard) {
  const FieldRate rate = FieldRate::of(standard);
  const std::uint64_t scaled = 2 * 1'000'000 * rate.denominator;
  return (scaled + rate.numerator - 1) / rate.numerator;
}

}  // namespace

std::uint64_t frameHash(std::span<const std::uint8_t> frame) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (std::uint8_t byte : frame) {
    hash ^= byte;
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

OutputStream::OutputStream(CallLog& log, const BoardConfig& config, platform::Clock& clock,
                           OutputFileMaker makeFile)
    : log_(log),
      outputPath_(config.outputPath),
      shownPath_(config.shownPath),
      frameCount_(config.outputFrames),
      refuse_(config.faults.refuseOutput),
      clock_(clock),
      makeFile_(std::move(makeFile)) {}

engine::Handle OutputStream::open(const char* name, std::int32_t is625) {
  log_.write("OpenOutputStream " + std::string(logText(name)) + " " + std::to_string(is625));
  const VideoStandard standard = is625 != 0 ? VideoStandard::Pal : VideoStandard::Ntsc;
  std::lock_guard guard(lock_);
  lines_ = 2 * linesPerField(standard);
  frameBytes_ = 2 * fieldBytes(standard);
  period_ = framePeriodMicros(standard);
  submitted_ = 0;
  slots_.clear();
  slots_.reserve(frameCount_);
  try {
    for (std::uint32_t i = 0; i < frameCount_; ++i) {
      slots_.push_back(Slot{platform::PageBuffer(frameBytes_)});
      // A board's frame memory is resident: its pages are touched now, not
      // by the first frames played into them.
      platform::prepareForTransfers(slots_.back().area.bytes().first(frameBytes_));
    }
  } catch (const std::bad_alloc&) {
    // A board short of memory simply owns fewer frames.
  }
  if (!outputPath_.empty() && makeFile_ && makeFile_(outputPath_, standard)) {
    output_.open(outputPath_, std::ios::in | std::ios::out | std::ios::binary);
    // Zeros up to the first frame block even while nothing has been shown.
    output_.seekp(kDataOffset - 1);
    output_.put('\0');
    output_.flush();
  }
  if (!shownPath_.empty()) shown_.open(shownPath_, std::ios::out | std::ios::trunc | std::ios::binary);
  return kStreamHandle;
}

engine::Handle OutputStream::acquireFrame(engine::Handle, void** data, std::uint32_t* cookie) {
  engine::Handle token = 0;
  void* area = nullptr;
  if (!refuse_) {
    const std::uint64_t now = clock_.microseconds();
    std::lock_guard guard(lock_);
    for (std::size_t i = 0; i < slots_.size(); ++i) {
      Slot& slot = slots_[i];
      if (slot.state == SlotState::OnAir && now >= slot.freeAt) slot.state = SlotState::Free;
      if (slot.state != SlotState::Free) continue;
      slot.state = SlotState::Held;
      token = static_cast<engine::Handle>(i + 1);
      area = slot.area.data();
      break;
    }
  }
  if (data != nullptr) *data = area;
  if (cookie != nullptr) *cookie = token;
  char line[40];
  std::snprintf(line, sizeof line, "AcquireOutputFrame %" PRIu32, token);
  log_.write(line);
  return token;
}

void OutputStream::submitFrame(engine::Handle, engine::Handle token, std::uint32_t) {
  char line[40];
  std::snprintf(line, sizeof line, "SubmitOutputFrame %" PRIu32, token);
  log_.write(line);
  std::lock_guard guard(lock_);
  if (token == 0 || token > slots_.size() || slots_[token - 1].state != SlotState::Held) return;
  Slot& slot = slots_[token - 1];
  const std::uint64_t now = clock_.microseconds();
  slot.state = SlotState::OnAir;
  slot.freeAt = now + period_;
  const std::span<const std::uint8_t> frame(slot.area.data(), frameBytes_);
  if (output_.is_open()) {
    output_.seekp(kDataOffset + static_cast<std::streamoff>(submitted_ * frameBytes_));
    output_.write(reinterpret_cast<const char*>(frame.data()), static_cast<std::streamsize>(frame.size()));
    output_.flush();
  }
  ++submitted_;
  if (shown_.is_open()) {
    char shownLine[80];
    std::snprintf(shownLine, sizeof shownLine, "%" PRIu64 " %" PRIu64 " %016" PRIx64 "\n", submitted_, now,
                  frameHash(frame));
    shown_ << shownLine;
    shown_.flush();
  }
  if (watcher_) watcher_(frame, lines_);
}

void OutputStream::close(engine::Handle) {
  log_.write("CloseOutputStream");
  std::lock_guard guard(lock_);
  output_.close();
  shown_.close();
  slots_.clear();
}

void OutputStream::setWatcher(FrameWatcher watcher) {
  std::lock_guard guard(lock_);
  watcher_ = std::move(watcher);
}

std::uint64_t OutputStream::submittedFrames() {
  std::lock_guard guard(lock_);
  return submitted_;
}

}  // namespace corvane::board
