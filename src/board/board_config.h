// Settings of the virtual board, read from CORVANE_BOARD: comma-separated
// key=value items. Each item splits at its first '=', so a value may itself
// contain '=' (a path can, a comma cannot). Spaces around a key are ignored;
// the value is kept exactly as written. An unknown key or an item that cannot
// be understood is recorded as a problem and otherwise skipped, leaving the
// setting as it was.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "board/faults.h"
#include "board/video_standard.h"

namespace corvane::board {

// What the input carries (input=).
enum class InputSource : std::uint8_t { Pattern, Loopback, File };

// How fast the input delivers fields (input_rate=).
struct InputRate {
  enum class Pace : std::uint8_t {
    Field,  // the field rate of the standard
    Fast,   // the field rate until the first CurrentFrameCount, then as fast as taken
    Fixed,  // fixed fields a second
  };
  Pace pace = Pace::Field;
  FieldRate fixed;
  bool operator==(const InputRate&) const = default;

  // The pace of the field clock (for Fast, until it lets go).
  FieldRate fieldRate(VideoStandard standard) const {
    return pace == Pace::Fixed ? fixed : FieldRate::of(standard);
  }
};

struct BoardConfig {
  // log: every call that reaches the board is appended here; empty: no log.
  std::string logPath;

  // output: the QVF file that receives every submitted frame; empty: none.
  std::string outputPath;
  // shown: one line per submitted frame; empty: none.
  std::string shownPath;
  // output_frames: the output frames the board owns.
  std::uint32_t outputFrames = 3;

  // input: pattern, loopback or the path of a 4:2:2 QVF file.
  InputSource input = InputSource::Pattern;
  std::string inputPath;  // for InputSource::File
  InputRate inputRate;
  // first_count: FrameInfo's frame count of the first input frame.
  std::uint32_t firstCount = 1;

  // monitor: the shared-memory object for the preview programs; empty when
  // the key is not given (the board then makes one of its own).
  std::string monitor;

  // absent, refuse_output, input_frames, missing_field, input_standard.
  Faults faults;

  // One readable line per item that was not understood.
  std::vector<std::string> problems;

  bool operator==(const BoardConfig&) const = default;
};

BoardConfig parseBoardConfig(std::string_view text);

// The monitor of a board whose settings name none: corvane-monitor-UID-PID,
// one per process, so that neither two users nor two runs of one user share
// it. Every such name of a user starts with monitorNamePrefix.
std::string monitorNamePrefix(std::uint32_t userId);
std::string defaultMonitorName(std::uint32_t userId, std::int32_t processId);

}  // namespace corvane::board
