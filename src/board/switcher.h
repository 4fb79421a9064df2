// The board's switcher: opening and closing it, the output and input controls
// it holds, its commands and its frame counter. Every call is written to the
// call log, including calls on a handle that is not open (they then do nothing
// and give 0), so a test sees the plug-in's mistakes too. Thread-safe.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "board/call_log.h"
#include "engine/realtime_engine.h"

namespace corvane::board {

struct ControlSetting {
  engine::ControlType type;
  std::int32_t value;
  bool operator==(const ControlSetting&) const = default;
};

class Switcher {
 public:
  // absent: every open fails, as when the board is missing. log must outlive this.
  Switcher(bool absent, CallLog& log);

  engine::Handle open(const char* name);
  void close(engine::Handle switcher);
  // Give 1 when the control was stored, 0 for a closed handle or a null name or value.
  std::int32_t setOutputControl(engine::Handle switcher, const char* name, engine::ControlType type,
                                const std::int32_t* value);
  std::int32_t setInputControl(engine::Handle switcher, const char* name, engine::ControlType type,
                               const std::int32_t* value);
  std::int32_t command(engine::Handle switcher, std::uint32_t command, const void* data);
  std::uint32_t currentFrameCount(engine::Handle switcher);

  // The board's state, for tests and for the output and input sides.
  bool isOpen(engine::Handle switcher) const;
  std::optional<ControlSetting> outputControl(std::string_view name) const;
  std::optional<ControlSetting> inputControl(std::string_view name) const;
  // The counter that CurrentFrameCount reports; the video clock advances it.
  void setFrameCount(std::uint32_t count) { frameCount_.store(count, std::memory_order_relaxed); }
  std::uint32_t frameCount() const { return frameCount_.load(std::memory_order_relaxed); }
  // True once CurrentFrameCount has been asked: input_rate=fast lets go then.
  bool countAsked() const { return countAsked_.load(std::memory_order_relaxed); }

 private:
  using Controls = std::map<std::string, ControlSetting, std::less<>>;
  std::int32_t setControl(std::string_view operation, Controls& controls, engine::Handle switcher,
                          const char* name, engine::ControlType type, const std::int32_t* value);

  const bool absent_;
  CallLog& log_;
  mutable std::mutex lock_;
  std::set<engine::Handle> open_;  // guarded by lock_
  engine::Handle nextHandle_;      // guarded by lock_
  Controls outputControls_;        // guarded by lock_
  Controls inputControls_;         // guarded by lock_
  // Written by the video clock, read by any caller; a plain counter (relaxed).
  std::atomic<std::uint32_t> frameCount_{0};
  std::atomic<bool> countAsked_{false};  // a plain flag (relaxed)
};

}  // namespace corvane::board
