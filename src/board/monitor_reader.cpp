#include "board/monitor_reader.h"

namespace corvane::board {

namespace {

// A copy takes far less than a frame period, so being overtaken this often
// in a row means the writer is publishing faster than we copy: try later.
constexpr int kCopyAttempts = 8;

}  // namespace

std::unique_ptr<MonitorReader> MonitorReader::open(const std::string& name) {
  platform::SharedMemory memory = platform::SharedMemory::openReadOnly(name, sizeof(MonitorLayout));
  if (memory.empty()) return nullptr;
  std::unique_ptr<MonitorReader> reader(new MonitorReader(std::move(memory)));
  const MonitorLayout& shared = reader->layout();
  reader->board_ = MonitorWord(reader->layout().state).load(std::memory_order_acquire);
  if (!monitorOpen(reader->board_) || shared.magic != kMonitorMagic || shared.version != kMonitorVersion)
    return nullptr;
  return reader;
}

bool MonitorReader::closed() const {
  return MonitorWord(layout().state).load(std::memory_order_acquire) != board_;
}

std::uint32_t MonitorReader::playbackDrops() const {
  return MonitorWord(layout().channels[static_cast<std::size_t>(MonitorChannel::Output)].dropped)
      .load(std::memory_order_acquire);
}

bool MonitorReader::gone() const { return closed() || memory_.replaced(); }

MonitorRead MonitorReader::readLatest(MonitorChannel channel, MonitorFrame& frame) {
  if (closed()) return MonitorRead::Gone;
  MonitorChannelBlock& block = layout().channels[static_cast<std::size_t>(channel)];
  for (int attempt = 0; attempt < kCopyAttempts; ++attempt) {
    const std::uint32_t published = MonitorWord(block.published).load(std::memory_order_acquire);
    if (published == 0 || published == frame.frameNumber) return MonitorRead::NoNewFrame;
    MonitorSlot& slot = block.slots[(published - 1) % 2];
    MonitorWord sequence(slot.sequence);
    const std::uint32_t before = sequence.load(std::memory_order_acquire);
    if (before % 2 != 0) continue;
    const std::uint32_t lines = MonitorWord(slot.lines).load(std::memory_order_acquire);
    const std::uint32_t number = MonitorWord(slot.frameNumber).load(std::memory_order_acquire);
    if (!monitorLinesValid(lines)) continue;
    frame.pixels.resize(monitorFrameBytes(lines));
    loadMonitorPixels(frame.pixels, slot.pixels);
    if (copyHook_) copyHook_();
    // The acquire loads above keep this look after the copy.
    if (sequence.load(std::memory_order_relaxed) != before) continue;
    // A later board starting the object afresh changes the state before
    // anything else: a copy that saw any of its words sees that too.
    if (closed()) return MonitorRead::Gone;
    frame.lines = lines;
    frame.frameNumber = number;
    return MonitorRead::NewFrame;
  }
  return MonitorRead::NoNewFrame;
}

}  // namespace corvane::board
