// Why frames of a take were lost, each cause counted on its own. The host
// sees only whether anything was lost; these counts say what happened, for
// the record command and for tests.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace corvane::record {

enum class LostCause : std::uint8_t {
  WrongStandard,    // the input carries the other video standard
  UnfinishedFrame,  // a first field came while a frame was half assembled
  NoFreeSlot,       // every slot was waiting for the disk
  AfterStop,        // a frame counted after the stop reached the capture thread
  OverLimit,        // past the take's frame limit
  FailedWrite,      // the file could not be created or written
  NoFile,           // no record file was set
};
inline constexpr std::size_t kLostCauses = 7;

using LostCounts = std::array<std::uint32_t, kLostCauses>;

// The cause's name as reports print it ("wrong_standard").
const char* lostCauseName(LostCause cause);

// Counters bumped by the field callback and the capture thread and read by
// anyone: plain counts (relaxed), reset when a take starts.
class LostFrames {
 public:
  void count(LostCause cause) {
    counts_[static_cast<std::size_t>(cause)].fetch_add(1, std::memory_order_relaxed);
  }
  void reset() {
    for (auto& count : counts_) count.store(0, std::memory_order_relaxed);
  }
  LostCounts snapshot() const {
    LostCounts out{};
    for (std::size_t i = 0; i < kLostCauses; ++i) out[i] = counts_[i].load(std::memory_order_relaxed);
    return out;
  }

 private:
  std::array<std::atomic<std::uint32_t>, kLostCauses> counts_{};
};

// "written=N wrong_standard=A ... no_file=G write_error=E": one take's
// outcome on one line; E is the system's error number of the first failed
// write (0: none).
std::string describeTake(std::uint32_t framesWritten, const LostCounts& lost, int writeError);

}  // namespace corvane::record
