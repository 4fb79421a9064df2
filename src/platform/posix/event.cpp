#include "platform/event.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace corvane::platform {

std::uint32_t createEvent(bool signalled) {
  int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  // Descriptor 0 would read as "no event" in the host's record.
  if (fd == 0) {
    const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 1);
    ::close(fd);
    fd = moved;
  }
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
  const auto event = static_cast<std::uint32_t>(fd);
  if (signalled) setEvent(event);
  return event;
}

// The counter is never read back, so once written it stays readable: a
// manual-reset event that nothing resets.
void setEvent(std::uint32_t event) {
  const std::uint64_t one = 1;
  while (::write(static_cast<int>(event), &one, sizeof one) < 0 && errno == EINTR) {
  }
}

bool eventIsSet(std::uint32_t event) {
  pollfd watched{static_cast<int>(event), POLLIN, 0};
  return ::poll(&watched, 1, 0) == 1;
}

void closeEvent(std::uint32_t event) { ::close(static_cast<int>(event)); }

}  // namespace corvane::platform
