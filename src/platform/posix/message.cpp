#include "platform/message.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "platform/posix/unique_fd.h"

namespace corvane::platform {
namespace {

constexpr mode_t kLogMode = 0644;

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
  std::string line(text);
  line += '\n';
  posix::writeAll(STDERR_FILENO, line.data(), line.size());
}

// No desktop: the lines are the box.
void showSystemMessageBox(std::string_view, std::string_view) {}

}  // namespace corvane::platform
