// Every fault the virtual board can be told to show, in one block. Each field
// has a CORVANE_BOARD key of the same name; parseBoardConfig is the one place
// that reads them, and the board's parts ask this block, never the raw keys.
// A default-made block is a board without faults.
#pragma once

#include <cstdint>
#include <optional>

#include "board/video_standard.h"

namespace corvane::board {

struct Faults {
  // absent=1: OpenSwitcher fails, as when the board is missing.
  bool absent = false;
  // refuse_output=1: AcquireOutputFrame never finds a free output frame.
  bool refuseOutput = false;
  // input_frames=N: the input falls silent after N frames (2N fields).
  std::optional<std::uint32_t> inputFrames;
  // missing_field=N: the second field of input frame N never comes.
  std::optional<std::uint32_t> missingField;
  // input_standard=ntsc|pal: what the input carries; unset, the load-time
  // standard. Any other than the load-time one is the wrong-standard fault.
  std::optional<VideoStandard> inputStandard;

  bool operator==(const Faults&) const = default;

  // Input frames count from 1, the first frame delivered after SetProbeCallback.
  bool deliversField(std::uint64_t inputFrame, FieldParity field) const {
    if (inputFrames && inputFrame > *inputFrames) return false;
    return !(missingField && field == FieldParity::Second && inputFrame == *missingField);
  }

  VideoStandard inputStandardFor(VideoStandard loaded) const { return inputStandard.value_or(loaded); }
};

}  // namespace corvane::board
