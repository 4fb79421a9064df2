#include "platform/environment.h"
#include "support/system.h"

namespace corvane::testing {

// Reads and sets as the plug-in does; only clearing is the backend's.
std::optional<std::string> environmentValue(const std::string& name) {
  return platform::environmentValue(name.c_str());
}

void setEnvironmentValue(const std::string& name, const std::string& value) {
  platform::setEnvironmentValue(name.c_str(), value);
}

ScopedEnvironment::ScopedEnvironment(std::string name, const std::optional<std::string>& value)
    : name_(std::move(name)), saved_(environmentValue(name_)) {
  if (value)
    setEnvironmentValue(name_, *value);
  else
    unsetEnvironmentValue(name_);
}

ScopedEnvironment::~ScopedEnvironment() {
  if (saved_)
    setEnvironmentValue(name_, *saved_);
  else
    unsetEnvironmentValue(name_);
}

}  // namespace corvane::testing
