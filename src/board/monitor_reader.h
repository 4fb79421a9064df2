// The preview programs' side of the monitor: the latest frame of a channel,
// whole. Needs only the layout and the platform's shared memory, so a program
// outside the plug-in builds it at any width.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "board/monitor_layout.h"
#include "platform/shared_memory.h"

namespace corvane::board {

struct MonitorFrame {
  std::uint32_t lines = 0;
  std::uint32_t frameNumber = 0;     // 0: none read yet
  std::vector<std::uint8_t> pixels;  // 720 x lines x 2, field-separated 4:2:2
};

enum class MonitorRead : std::uint8_t {
  NewFrame,    // frame now holds a later frame than it did
  NoNewFrame,  // nothing later published, or the writer kept overtaking the copy
  Gone,        // the board has closed the monitor or another has taken it; open it anew
};

// A read-only view of a monitor. Used by one thread.
class MonitorReader {
 public:
  // Null while no board has made and opened the monitor named name.
  static std::unique_ptr<MonitorReader> open(const std::string& name);

  // Copies the channel's latest frame into frame when it is later than the
  // one frame holds. Never returns a frame the writer was changing meanwhile.
  MonitorRead readLatest(MonitorChannel channel, MonitorFrame& frame);
  // Frames the plug-in's playback has dropped since the monitor opened.
  std::uint32_t playbackDrops() const;
  // True once the board has gone, a later board has taken the object, or the
  // name leads to another object (a system call: ask now and then, not for
  // every frame).
  bool gone() const;
  // Runs between a frame's copy and the check that it was not overwritten
  // meanwhile: lets a test overwrite it at exactly that moment.
  void setCopyHook(std::function<void()> hook) { copyHook_ = std::move(hook); }

 private:
  explicit MonitorReader(platform::SharedMemory memory) : memory_(std::move(memory)) {}
  MonitorLayout& layout() const { return *reinterpret_cast<MonitorLayout*>(memory_.data()); }
  // True once the state word differs from the one of the board we opened.
  bool closed() const;

  platform::SharedMemory memory_;
  std::uint32_t board_ = 0;
  std::function<void()> copyHook_;
};

}  // namespace corvane::board
