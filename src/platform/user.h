// Who runs the process, for names that must not clash between users on one
// machine (the board's monitor object).
#pragma once

#include <cstdint>

namespace corvane::platform {

// The real user id of the process.
std::uint32_t currentUserId();

}  // namespace corvane::platform
