// Where the running program's file is, so that a tool can find files
// installed beside it however it was started (PATH, a link, a relative path).
#pragma once

#include <optional>
#include <string>

namespace corvane::platform {

// The absolute path of the running executable with every link resolved;
// nullopt when the system does not say.
std::optional<std::string> executablePath();

}  // namespace corvane::platform
