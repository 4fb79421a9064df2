#include "support/rewrite_counter.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <stdexcept>

namespace corvane::testing {

struct RewriteCounter::Watch {
  int fd = -1;
};

RewriteCounter::RewriteCounter(const std::filesystem::path& folder) : watch_(std::make_unique<Watch>()) {
  watch_->fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (watch_->fd < 0 ||
      inotify_add_watch(watch_->fd, folder.c_str(), IN_MOVED_TO | IN_CLOSE_WRITE | IN_CREATE) < 0) {
    if (watch_->fd >= 0) ::close(watch_->fd);
    throw std::runtime_error("cannot watch " + folder.string());
  }
}

RewriteCounter::~RewriteCounter() { ::close(watch_->fd); }

std::optional<int> RewriteCounter::rewritesOf(const std::string& name) {
  alignas(inotify_event) char buffer[64 * 1024];
  int count = 0;
  for (ssize_t n; (n = ::read(watch_->fd, buffer, sizeof buffer)) > 0;) {
    for (char* at = buffer; at < buffer + n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(at);
      if (event->len > 0 && name == event->name && (event->mask & (IN_MOVED_TO | IN_CLOSE_WRITE))) ++count;
      at += sizeof(inotify_event) + event->len;
    }
  }
  return count;
}

}  // namespace corvane::testing
