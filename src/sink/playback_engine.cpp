#include "sink/playback_engine.h"

#include <system_error>

#include "sink/output_conversion.h"

namespace corvane::sink {
namespace {

constexpr std::uint32_t kFrameWidth = 720;
constexpr std::int64_t kLongestWaitMicros = 1000;
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

std::int64_t PlaybackEngine::nowMicroseconds() {
  const std::uint64_t now = seams_.clock.microseconds();
  std::uint64_t origin = origin_.load(std::memory_order_relaxed);
  // The first reading becomes the origin (a reading of 0 is no origin yet);
  // a thread that loses the race takes the winner's.
  if (origin == 0 && origin_.compare_exchange_strong(origin, now, std::memory_order_relaxed)) origin = now;
  return static_cast<std::int64_t>(now - origin);
}

void PlaybackEngine::run() {
  platform::raiseProcessToHighPriority();
  while (!stopRequested_.load(std::memory_order_relaxed)) playDueOrWait();
}

void PlaybackEngine::playDueOrWait() {
  std::int64_t untilDue = kLongestWaitMicros;
  FrameBuffer* due = pool_.takeDue(nowMicroseconds(), &untilDue);
  if (due == nullptr) {
    if (untilDue < kLongestWaitMicros) {
      seams_.clock.sleepMicroseconds(static_cast<std::uint32_t>(untilDue));
    } else {
      seams_.clock.sleepMilliseconds(1);
    }
    return;
  }
  output(*due);
  pool_.giveBack(*due);
}

void PlaybackEngine::output(FrameBuffer& buffer) {
  void* data = nullptr;
  std::uint32_t cookie = 0;
  engine::Handle token = 0;
  for (std::uint32_t attempt = 0; attempt < kAcquireAttempts && token == 0; ++attempt) {
    token = seams_.board.AcquireOutputFrame(stream_, &data, &cookie);
    if (token == 0) seams_.clock.sleepMilliseconds(1);
  }
  if (token == 0) return;  // dropped: nothing free on the board
  // A frame with no pixel area cannot be filled, but it is the board's: it
  // goes back as it came, or the board runs out of frames.
  if (data != nullptr) {
    convertToOutput(buffer.layout, buffer.pixels.bytes(),
                    std::span(static_cast<std::uint8_t*>(data), outputFrameBytes(lines_)), lines_);
  }
  seams_.board.SubmitOutputFrame(stream_, token, cookie);
}

}  // namespace corvane::sink
