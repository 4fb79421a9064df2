// The board's output stream: the frames the plug-in plays out. Not built yet:
// every entry writes its call to the log and fails (0, no frame area), so a
// caller can never take it for a working stream. Thread-safe.
#pragma once

#include <cstdint>

#include "board/call_log.h"
#include "engine/realtime_engine.h"

namespace corvane::board {

class OutputStream {
 public:
  // log must outlive this.
  explicit OutputStream(CallLog& log) : log_(log) {}

  engine::Handle open(const char* name, std::int32_t is625);
  // Gives token 0 and sets *data and *cookie (where given) to null and 0.
  engine::Handle acquireFrame(engine::Handle stream, void** data, std::uint32_t* cookie);
  void submitFrame(engine::Handle stream, engine::Handle token, std::uint32_t cookie);
  void close(engine::Handle stream);

 private:
  CallLog& log_;
};

}  // namespace corvane::board
