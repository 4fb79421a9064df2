#include "platform/message.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "platform/environment.h"
#include "platform/posix/unique_fd.h"

namespace corvane::platform {
namespace {

constexpr mode_t kLogMode = 0644;

std::string joined(std::string_view caption, std::string_view separator, std::string_view text) {
  std::string line;
  line.reserve(caption.size() + separator.size() + text.size() + 1);
  line.append(caption).append(separator).append(text).append("\n");
  return line;
}

}  // namespace

// One write on an O_APPEND descriptor: lines from concurrent writers, in this
// process or another, land whole and never interleave.
void appendToLog(const std::string& path, std::string_view text) {
  posix::UniqueFd fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, kLogMode));
  if (!fd.valid()) return;
  ssize_t n;
  do {
    n = ::write(fd.get(), text.data(), text.size());
  } while (n < 0 && errno == EINTR);
}

void writeErrorLine(std::string_view text) {
  const std::string line = joined(text, "", "");
  posix::writeAll(STDERR_FILENO, line.data(), line.size());
}

void showMessageBox(std::string_view caption, std::string_view text) {
  const std::string shown = joined(caption, ": ", text);
  posix::writeAll(STDERR_FILENO, shown.data(), shown.size());
  if (auto logPath = environmentValue("CORVANE_MESSAGE_LOG"); logPath && !logPath->empty()) {
    appendToLog(*logPath, joined(caption, "\t", text));
  }
}

}  // namespace corvane::platform
