// The board's input side: the realtime engine, the probe on input pin 0 and
// the fields it delivers. From SetProbeCallback until the probe is detached
// or destroyed, a delivery thread of the board's own paces the input's fields
// (input_rate), fills them (input), applies the input faults, writes
// "deliver ID COUNT PARITY" and calls the callback; the callback hands each
// field back through ReturnInputFrame. Thread-safe.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "board/board_config.h"
#include "board/call_log.h"
#include "board/monitor.h"
#include "board/shown_frame.h"
#include "board/switcher.h"
#include "engine/realtime_engine.h"
#include "platform/clock.h"
#include "platform/thread.h"

namespace corvane::board {

class InputProbe {
 public:
  // Every argument must outlive this; monitor may be null (no previews).
  InputProbe(const BoardConfig& config, Switcher& switcher, const ShownFrame& shown, MonitorWriter* monitor,
             CallLog& log, platform::Clock& clock);
  // Stops the delivery, so that no callback runs once the board is gone.
  ~InputProbe();
  InputProbe(const InputProbe&) = delete;
  InputProbe& operator=(const InputProbe&) = delete;

  // The standard the plug-in loaded with; the input carries it unless
  // input_standard says otherwise. Takes effect at the next SetProbeCallback.
  void setLoadedStandard(VideoStandard standard) { loaded_.store(standard, std::memory_order_relaxed); }

  engine::Handle openEngine();
  engine::Handle findEngineObject(engine::Handle engine);
  engine::Handle createProbe(engine::Handle object, const char* name);
  // A null pin detaches; once that returns, no callback runs any more.
  std::int32_t attach(engine::Handle probe, const char* pinName);
  // Starts the input anew on an attached probe.
  std::int32_t setCallback(engine::Handle probe, void* context, engine::ProbeCallback callback);
  std::int32_t fieldParity(const std::uint8_t* stamp);
  std::uint32_t source(engine::Handle probe);
  void destroyProbe(engine::Handle probe);
  void closeEngine(engine::Handle engine);
  void returnFrame(std::uint32_t source, std::uint32_t frameIdentifier);

 private:
  std::int32_t detach(engine::Handle probe);
  // Ends the delivery thread and waits for it; deliveryLock_ held, lock_ not,
  // since the callback's own calls to the board may take lock_.
  void stopDelivery();
  void deliver(void* context, engine::ProbeCallback callback);  // the delivery thread
  bool waitUntil(std::uint64_t due);                            // false once stopping

  const BoardConfig& config_;
  Switcher& switcher_;
  const ShownFrame& shown_;
  MonitorWriter* const monitor_;
  CallLog& log_;
  platform::Clock& clock_;
  std::atomic<VideoStandard> loaded_{VideoStandard::Ntsc};

  // Orders the starts and ends of the delivery thread; taken before lock_ and
  // by no call a callback makes.
  std::mutex deliveryLock_;
  std::mutex lock_;
  engine::Handle engine_ = 0;  // guarded by lock_
  engine::Handle probe_ = 0;   // guarded by lock_
  bool attached_ = false;      // guarded by lock_
  platform::Thread delivery_;  // started and joined under deliveryLock_
  // Set to end the delivery; the thread polls it between fields (relaxed: the
  // join that follows orders everything else).
  std::atomic<bool> stop_{false};
  // Touched by one delivery thread at a time; the join between two orders them.
  std::uint32_t nextCount_;
  std::uint32_t nextIdentifier_ = 1;
};

}  // namespace corvane::board
