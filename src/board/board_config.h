// Settings of the virtual board, read from CORVANE_BOARD: comma-separated
// key=value items. Each item splits at its first '=', so a value may itself
// contain '=' (a path can, a comma cannot). Spaces around a key are ignored;
// the value is kept exactly as written. Unknown keys are ignored so that older
// boards accept newer settings; an item that cannot be understood is recorded
// as a problem and otherwise skipped.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane::board {

struct BoardConfig {
  // The switcher cannot be opened, as when the board is missing.
  bool absent = false;
  // Every call that reaches the board is appended here; empty: no log.
  std::string logPath;
  // One readable line per item that was not understood.
  std::vector<std::string> problems;
};

BoardConfig parseBoardConfig(std::string_view text);

}  // namespace corvane::board
