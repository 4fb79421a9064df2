#include "sink/playback_engine.h"

#include <algorithm>
#include <system_error>

#include "sink/output_conversion.h"

namespace corvane::sink {
namespace {

constexpr std::uint32_t kFrameWidth = 720;
// The poll while nothing is near; also how far ahead a frame is prepared.
constexpr std::int64_t kPollMicros = 1000;
constexpr std::uint32_t kTeardownPauseMs = 500;

}  // namespace

PlaybackEngine::PlaybackEngine(PlaybackSeams seams, std::uint32_t bufferCount, bool is525,
                               const char* streamName)
    : seams_(seams),
      lines_(is525 ? 480 : 576),
      pool_(bufferCount, kFrameWidth, lines_, seams.keeper),
      stream_(seams.board.OpenOutputStream(streamName, 0, 0, is525 ? 0 : 1)) {
  if (std::error_code error = start("corvane-play", platform::ThreadPriority::TimeCritical)) {
    seams_.board.CloseOutputStream(stream_);
    throw std::system_error(error, "playback thread");
  }
}

PlaybackEngine::~PlaybackEngine() {
  if (!skipPause_.load(std::memory_order_relaxed)) seams_.clock.sleepMilliseconds(kTeardownPauseMs);
  stopRequested_.store(true, std::memory_order_relaxed);
  join();
  seams_.board.CloseOutputStream(stream_);
}

std::int64_t PlaybackEngine::nowMicroseconds() { return sinceOrigin(seams_.clock.microseconds()); }

void PlaybackEngine::run() {
  platform::raiseProcessToHighPriority();
  while (!stopRequested_.load(std::memory_order_relaxed)) playDueOrWait();
}

void PlaybackEngine::playDueOrWait() {
  const std::uint64_t reading = seams_.clock.microseconds();
  const FramePool::Head head = pool_.head(sinceOrigin(reading));
  if (head.serial == 0) {
    seams_.clock.sleepMilliseconds(1);
    return;
  }
  if (head.untilDue > kPollMicros) {
    // Wake one poll ahead of the due time, to prepare the frame.
    if (head.untilDue - kPollMicros < kPollMicros) {
      seams_.clock.sleepMicroseconds(static_cast<std::uint32_t>(head.untilDue - kPollMicros));
    } else {
      seams_.clock.sleepMilliseconds(1);
    }
    return;
  }
  if (!acquireBoardFrame(head.serial)) {
    if (attempts_ >= kAcquireAttempts) dropHead(head.serial);
    return;
  }
  if (preparedSerial_ != head.serial) {
    preparedSerial_ = 0;
    if (!pool_.prepareHead(head.serial, [this](const FrameBuffer& buffer) { convertInto(buffer); })) return;
    preparedSerial_ = head.serial;
  }
  submitHead(head.serial, reading + static_cast<std::uint64_t>(std::max<std::int64_t>(head.untilDue, 0)));
}

std::int64_t PlaybackEngine::sinceOrigin(std::uint64_t reading) {
  std::uint64_t origin = origin_.load(std::memory_order_relaxed);
  // The first reading becomes the origin (a reading of 0 is no origin yet);
  // a thread that loses the race takes the winner's.
  if (origin == 0 && origin_.compare_exchange_strong(origin, reading, std::memory_order_relaxed)) {
    origin = reading;
  }
  return static_cast<std::int64_t>(reading - origin);
}

bool PlaybackEngine::acquireBoardFrame(std::uint64_t serial) {
  if (held_.token != 0) return true;
  if (attemptsFor_ != serial) {
    attemptsFor_ = serial;
    attempts_ = 0;
  }
  held_.token = seams_.board.AcquireOutputFrame(stream_, &held_.data, &held_.cookie);
  if (held_.token != 0) return true;
  ++attempts_;
  seams_.clock.sleepMilliseconds(1);
  return false;
}

void PlaybackEngine::convertInto(const FrameBuffer& buffer) {
  // A frame with no pixel area cannot be filled, but it is the board's: it
  // goes back as it came, or the board runs out of frames.
  if (held_.data == nullptr) return;
  convertToOutput(buffer.layout, buffer.pixels.bytes(),
                  std::span(static_cast<std::uint8_t*>(held_.data), outputFrameBytes(lines_)), lines_);
}

// The head the attempts were for, once it is due: a new start may have put
// it off, or a frame for time 0 replaced it, and then it is not dropped.
void PlaybackEngine::dropHead(std::uint64_t serial) {
  std::int64_t untilDue = 0;
  FrameBuffer* head = pool_.takeDue(nowMicroseconds(), &untilDue, serial);
  if (head == nullptr) return;
  attemptsFor_ = 0;
  attempts_ = 0;
  dropped_.fetch_add(1, std::memory_order_relaxed);
  pool_.giveBack(*head);
  if (seams_.frameDropped) seams_.frameDropped();
}

void PlaybackEngine::submitHead(std::uint64_t serial, std::uint64_t deadline) {
  seams_.clock.sleepUntilMicroseconds(deadline);
  std::int64_t untilDue = 0;
  // Null when a stop or a new start came meanwhile; the prepared frame stays.
  FrameBuffer* due = pool_.takeDue(nowMicroseconds(), &untilDue);
  if (due == nullptr) return;
  // A frame for time 0 flushed the prepared one meanwhile.
  if (due->serial != serial) convertInto(*due);
  seams_.board.SubmitOutputFrame(stream_, held_.token, held_.cookie);
  held_ = {};
  preparedSerial_ = 0;
  attemptsFor_ = 0;
  attempts_ = 0;
  pool_.giveBack(*due);
}

}  // namespace corvane::sink
