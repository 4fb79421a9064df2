// The record of each dialog's life that CORVANE_DIALOG_LOG asks for: its
// opening, the static texts its procedure set, its state after the opening
// and after every user action, and its result. One line per append, so the
// lines of dialogs in several processes never mix.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvane::tk::detail {

class DialogLog {
 public:
  // No path: nothing is written.
  explicit DialogLog(std::optional<std::string> path) : path_(std::move(path)) {}
  static DialogLog fromEnvironment();
  void append(std::string_view line);

 private:
  std::optional<std::string> path_;
};

// A bound value as the log and the screen show it (%g).
std::string formatValue(double value);

}  // namespace corvane::tk::detail
