// The version corvane-host reports with --version.
#pragma once

#include <string_view>

namespace corvane::host {

inline constexpr std::string_view kHostVersion = "0.9.0";

}  // namespace corvane::host
