#include "board/monitor.h"

#include <charconv>
#include <utility>

#include "board/board_config.h"
#include "platform/file_status.h"

namespace corvane::board {

std::unique_ptr<MonitorWriter> MonitorWriter::open(const std::string& name) {
  if (name.empty()) return nullptr;
  platform::SharedMemory memory = platform::SharedMemory::create(name, sizeof(MonitorLayout));
  if (memory.empty()) return nullptr;
  return std::unique_ptr<MonitorWriter>(new MonitorWriter(name, std::move(memory)));
}

MonitorWriter::MonitorWriter(std::string name, platform::SharedMemory memory)
    : name_(std::move(name)), memory_(std::move(memory)) {
  MonitorLayout& shared = layout();
  // A reused object may hold an older board's frames, and a reader may still
  // map it: first a state of our own, closed, so that reader lets go before
  // any frame number starts again from 1. The word goes open last.
  MonitorWord state(shared.state);
  std::uint32_t before = state.load(std::memory_order_relaxed);
  while (!state.compare_exchange_weak(before, nextMonitorBoard(before), std::memory_order_acq_rel)) {
  }
  const std::uint32_t closed = nextMonitorBoard(before);
  for (MonitorChannelBlock& channel : shared.channels) {
    MonitorWord(channel.published).store(0, std::memory_order_release);
    MonitorWord(channel.dropped).store(0, std::memory_order_release);
    for (MonitorSlot& slot : channel.slots) {
      MonitorWord(slot.sequence).store(0, std::memory_order_release);
      MonitorWord(slot.lines).store(0, std::memory_order_release);
      MonitorWord(slot.frameNumber).store(0, std::memory_order_release);
    }
  }
  shared.magic = kMonitorMagic;
  shared.version = kMonitorVersion;
  board_ = closed + 1;
  // Another board that took the object meanwhile keeps it.
  std::uint32_t expected = closed;
  state.compare_exchange_strong(expected, board_, std::memory_order_release);
}

MonitorWriter::~MonitorWriter() {
  // Only while the object is still ours: a later board may have taken it.
  std::uint32_t expected = board_;
  MonitorWord(layout().state).compare_exchange_strong(expected, board_ - 1, std::memory_order_release);
  // A later board may have made the name anew; that one is not ours to remove.
  if (!memory_.replaced()) platform::removeSharedMemory(name_);
}

void MonitorWriter::countPlaybackDrop() {
  MonitorWord(layout().channels[static_cast<std::size_t>(MonitorChannel::Output)].dropped)
      .fetch_add(1, std::memory_order_release);
}

bool MonitorWriter::publish(MonitorChannel channel, std::span<const std::uint8_t> frame,
                            std::uint32_t lines) {
  if (!monitorLinesValid(lines) || frame.size() != monitorFrameBytes(lines)) return false;
  const auto index = static_cast<std::size_t>(channel);
  std::lock_guard lock(channelLocks_[index]);
  MonitorChannelBlock& block = layout().channels[index];
  MonitorWord published(block.published);
  const std::uint32_t count = published.load(std::memory_order_relaxed);
  // The slot that does not hold the latest frame: readers of that one go on
  // undisturbed.
  MonitorSlot& slot = block.slots[count % 2];
  MonitorWord sequence(slot.sequence);
  const std::uint32_t before = sequence.load(std::memory_order_relaxed);
  // Odd before any word of the new frame: those are release stores.
  sequence.store(before + 1, std::memory_order_relaxed);
  MonitorWord(slot.lines).store(lines, std::memory_order_release);
  MonitorWord(slot.frameNumber).store(count + 1, std::memory_order_release);
  storeMonitorPixels(slot.pixels, frame);
  sequence.store(before + 2, std::memory_order_release);
  published.store(count + 1, std::memory_order_release);
  return true;
}

void sweepStaleMonitors(std::uint32_t userId) {
  const std::string prefix = monitorNamePrefix(userId);
  for (const std::string& name : platform::sharedMemoryNames(prefix)) {
    const std::string_view pid = std::string_view(name).substr(prefix.size());
    int processId = 0;
    const auto [end, error] = std::from_chars(pid.data(), pid.data() + pid.size(), processId);
    // Only names this scheme made: digits to the end, a process id.
    if (error != std::errc{} || end != pid.data() + pid.size() || processId <= 0) continue;
    if (!platform::processExists(processId)) platform::removeSharedMemory(name);
  }
}

}  // namespace corvane::board
