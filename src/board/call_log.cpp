#include "board/call_log.h"

namespace corvane::board {

CallLog::CallLog(const std::string& path) {
  if (path.empty()) return;
  file_.open(path, std::ios::out | std::ios::app | std::ios::binary);
  enabled_ = file_.is_open();
  usable_ = enabled_;
}

void CallLog::write(std::string_view line) {
  if (!enabled_) return;
  std::string whole;
  whole.reserve(line.size() + 1);
  whole.append(line);
  whole.push_back('\n');
  std::lock_guard guard(lock_);
  file_.write(whole.data(), static_cast<std::streamsize>(whole.size()));
  file_.flush();
}

}  // namespace corvane::board
