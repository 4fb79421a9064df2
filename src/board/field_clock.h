// The board's field clock: which field is on air, paced by the platform clock.
// The count is always worked out from the absolute start time and the exact
// field rate, never by adding up periods, so 59.94 Hz stays 59.94 Hz over
// hours. A caller that comes back late skips the fields it slept through and
// has them counted as missed; the fields after stay on the original grid.
#pragma once

#include <cstdint>

#include "board/video_standard.h"
#include "platform/clock.h"

namespace corvane::board {

class FieldClock {
 public:
  // Field 0 starts now. clock must outlive this; rate must not be zero.
  // Not thread-safe: one pacing thread owns a field clock.
  FieldClock(platform::Clock& clock, FieldRate rate);

  // Field 0 starts now again, with nothing handed out or missed.
  void restart();

  // Whole field periods since the start: the index of the field on air now.
  std::uint64_t fieldsSinceStart();

  // When field n starts, in microseconds after the start, rounded up.
  std::uint64_t fieldStart(std::uint64_t field) const;

  // Sleeps until the next field not yet handed out has started and gives the
  // index of the field on air then (later than that one when the caller came
  // back late: the ones in between are counted as missed).
  std::uint64_t waitForNextField();

  std::uint64_t missedFields() const { return missed_; }

 private:
  platform::Clock& clock_;
  FieldRate rate_;
  std::uint64_t start_;
  std::uint64_t next_ = 0;
  std::uint64_t missed_ = 0;
};

}  // namespace corvane::board
