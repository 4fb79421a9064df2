#include "platform/user.h"

#include <unistd.h>

namespace corvane::platform {

std::uint32_t currentUserId() { return static_cast<std::uint32_t>(::getuid()); }

}  // namespace corvane::platform
