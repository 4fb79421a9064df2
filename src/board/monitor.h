// The board's side of the monitor: it publishes the latest shown output frame
// and the latest delivered input frame for the preview programs to show.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>

#include "board/monitor_layout.h"
#include "platform/shared_memory.h"

namespace corvane::board {

// Owns the monitor object: made by open(), removed by the destructor (after
// marking it closed, so a preview still mapping it waits for the next board).
class MonitorWriter {
 public:
  // The object named name, made or reused. Null when shared memory is not
  // available: the board works without its monitor.
  static std::unique_ptr<MonitorWriter> open(const std::string& name);
  ~MonitorWriter();
  MonitorWriter(const MonitorWriter&) = delete;
  MonitorWriter& operator=(const MonitorWriter&) = delete;

  // Copies frame (720 x lines x 2 bytes, field-separated 4:2:2) into the
  // channel as its latest frame. Never waits for a reader; callers publishing
  // on one channel from several threads are served in turn. False, and
  // nothing published, when frame is not of that size or lines is not even
  // and at most 576.
  bool publish(MonitorChannel channel, std::span<const std::uint8_t> frame, std::uint32_t lines);

  // One more frame dropped by the plug-in's playback (the output channel's
  // dropped word). Lock-free: the playback thread calls it.
  void countPlaybackDrop();

  const std::string& name() const { return name_; }

 private:
  MonitorWriter(std::string name, platform::SharedMemory memory);
  MonitorLayout& layout() const { return *reinterpret_cast<MonitorLayout*>(memory_.data()); }

  std::string name_;
  platform::SharedMemory memory_;
  std::uint32_t board_ = 0;     // the state word while this board writes
  std::mutex channelLocks_[2];  // one publisher at a time per channel
};

// Removes the default monitors (monitorNamePrefix) of userId whose process no
// longer runs: a killed process cannot remove its own.
void sweepStaleMonitors(std::uint32_t userId);

}  // namespace corvane::board
