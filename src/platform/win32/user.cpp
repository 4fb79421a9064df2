#include "platform/user.h"

#include <windows.h>

namespace corvane::platform {

// Windows has no numeric user id; the session id separates the users logged
// on to one machine (each has sessions of its own), which is what the names
// built from it need.
std::uint32_t currentUserId() {
  DWORD session = 0;
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) return 0;
  return static_cast<std::uint32_t>(session);
}

}  // namespace corvane::platform
