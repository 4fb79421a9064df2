// Manual-reset events known by a 32-bit handle (on POSIX an eventfd, readable
// while the event is signalled; on Windows the event object's handle). The output device keeps its start
// event's handle in a host record between calls, so the handle is the owner here: whoever makes one closes
// it.
#pragma once

#include <cstdint>

namespace corvane::platform {

// A new event, signalled when asked; never handle 0. Throws std::system_error
// when the system has no event left.
std::uint32_t createEvent(bool signalled);
void setEvent(std::uint32_t event);
bool eventIsSet(std::uint32_t event);
void closeEvent(std::uint32_t event);

}  // namespace corvane::platform
