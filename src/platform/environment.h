// Environment variables the plug-in reads (CORVANE_*). Read at each call: tests
// change them between loads.
#pragma once

#include <optional>
#include <string>

namespace corvane::platform {

std::optional<std::string> environmentValue(const char* name);
// Sets name for this process and the libraries it loads afterwards.
void setEnvironmentValue(const char* name, const std::string& value);

}  // namespace corvane::platform
