#include "support/system.h"

namespace corvane::testing {

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
