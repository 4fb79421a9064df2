// The board's call log: one line per call that reaches the board, appended to
// a file so that tests (and people) can see exactly what the plug-in asked.
#pragma once

#include <fstream>
#include <mutex>
#include <string>
#include <string_view>

namespace corvane::board {

// A text argument as the log shows it: as it is, or "(null)".
inline std::string_view logText(const char* text) { return text == nullptr ? "(null)" : text; }

class CallLog {
 public:
  // An empty path makes a log that drops every line.
  explicit CallLog(const std::string& path);
  CallLog(const CallLog&) = delete;
  CallLog& operator=(const CallLog&) = delete;

  // False when a path was given but the file could not be opened for appending.
  bool usable() const { return usable_; }
  // False when every line is dropped: per-field callers skip formatting then.
  bool enabled() const { return enabled_; }

  // Thread-safe. The line and its newline go out in one flushed write, so lines
  // from several threads (or processes) never mix.
  void write(std::string_view line);

 private:
  std::mutex lock_;
  std::ofstream file_;  // guarded by lock_
  bool enabled_ = false;
  bool usable_ = true;
};

}  // namespace corvane::board
