// The board's input side: the realtime engine, the probe on the input pin and
// the hand-back of delivered fields. Not built yet: every entry writes its
// call to the log and fails (0), and no field is ever delivered. Thread-safe.
#pragma once

#include <cstdint>

#include "board/call_log.h"
#include "engine/realtime_engine.h"

namespace corvane::board {

class InputProbe {
 public:
  // log must outlive this.
  explicit InputProbe(CallLog& log) : log_(log) {}

  engine::Handle openEngine();
  engine::Handle findEngineObject(engine::Handle engine);
  engine::Handle createProbe(engine::Handle object, const char* name);
  // A null pin detaches.
  std::int32_t attach(engine::Handle probe, const char* pinName);
  std::int32_t setCallback(engine::Handle probe, void* context, engine::ProbeCallback callback);
  std::int32_t fieldParity(const std::uint8_t* stamp);
  std::uint32_t source(engine::Handle probe);
  void destroyProbe(engine::Handle probe);
  void closeEngine(engine::Handle engine);
  void returnFrame(std::uint32_t source, std::uint32_t frameIdentifier);

 private:
  CallLog& log_;
};

}  // namespace corvane::board
