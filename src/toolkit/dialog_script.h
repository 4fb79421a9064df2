// Dialog scripts: what CORVANE_DIALOGS=script:PATH plays. Lines; blank ones
// and '#' comments are skipped. "dialog ID" starts the actions for the next
// dialog of resource ID that opens: "click ID", "set ID VALUE", "wait MS",
// "close". A line that says anything else is reported and skipped.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::tk::detail {

struct ScriptAction {
  enum class Kind : std::uint8_t { Click, Set, Wait, Close };
  Kind kind;
  std::int32_t id = 0;
  double value = 0.0;
  std::uint32_t milliseconds = 0;
};

struct ScriptBlock {
  std::int32_t dialogId;
  std::vector<ScriptAction> actions;
};

struct DialogScript {
  std::vector<ScriptBlock> blocks;
  std::vector<std::string> problems;  // "line N: what is wrong"
};

DialogScript parseDialogScript(std::string_view text);

// The script of PATH for this process, read at its first use: each opening of
// a dialog takes the first block for its id that is left (none: no actions).
std::vector<ScriptAction> takeScriptedActions(const std::string& path, std::int32_t dialogId);

}  // namespace corvane::tk::detail
