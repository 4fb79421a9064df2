// The board's output stream: the frames the plug-in plays out. The board owns
// output_frames frame areas of 720 x lines x 2 bytes; a submitted frame is on
// air for one frame period and its area is free again after that, so a burst
// larger than the board's frames finds none free, as on a real board. Every
// submitted frame can be appended to a QVF file (output=), listed with its
// time and hash (shown=), and handed to a watcher (the preview monitor).
// Thread-safe.
#pragma once

#include <cstdint>
#include <fstream>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "board/board_config.h"
#include "board/call_log.h"
#include "board/video_standard.h"
#include "engine/realtime_engine.h"
#include "platform/clock.h"
#include "platform/memory.h"

namespace corvane::board {

// Creates the QVF file that receives the output: its headers for the standard,
// as the file engine writes them. False when the file cannot be made. The
// board cannot make it itself: the file format lives above it.
using OutputFileMaker = std::function<bool(const std::string& path, VideoStandard standard)>;

// Sees every submitted frame (720 x lines x 2 bytes, field-separated).
using FrameWatcher = std::function<void(std::span<const std::uint8_t> frame, std::uint32_t lines)>;

// FNV-1a, 64 bits: the hash of a shown frame in the shown= file.
std::uint64_t frameHash(std::span<const std::uint8_t> frame);

class OutputStream {
 public:
  // log and clock must outlive this.
  OutputStream(CallLog& log, const BoardConfig& config, platform::Clock& clock, OutputFileMaker makeFile);

  engine::Handle open(const char* name, std::int32_t is625);
  // A free frame area: a token that is never 0, its address and cookie; or
  // token 0 and null where none is free (or the board refuses output).
  engine::Handle acquireFrame(engine::Handle stream, void** data, std::uint32_t* cookie);
  // Puts the frame of an acquired token on air; other tokens are ignored.
  void submitFrame(engine::Handle stream, engine::Handle token, std::uint32_t cookie);
  void close(engine::Handle stream);

  void setWatcher(FrameWatcher watcher);
  std::uint64_t submittedFrames();

 private:
  enum class SlotState : std::uint8_t { Free, Held, OnAir };
  struct Slot {
    platform::PageBuffer area;
    SlotState state = SlotState::Free;
    std::uint64_t freeAt = 0;  // microseconds, while OnAir
  };

  CallLog& log_;
  const std::string outputPath_;
  const std::string shownPath_;
  const std::uint32_t frameCount_;
  const bool refuse_;
  platform::Clock& clock_;
  OutputFileMaker makeFile_;

  std::mutex lock_;
  std::vector<Slot> slots_;  // guarded by lock_, like everything below
  std::size_t frameBytes_ = 0;
  std::uint32_t lines_ = 0;
  std::uint64_t period_ = 0;  // one frame, in microseconds
  std::uint64_t submitted_ = 0;
  std::fstream output_;
  std::ofstream shown_;
  FrameWatcher watcher_;
};

}  // namespace corvane::board
