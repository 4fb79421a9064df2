#include "engine/toolkit.h"
#include "toolkit/change_protocol.h"

namespace corvane::tk {

std::int32_t mINT32::Get() { return detail::readValue(lock_, value_); }

std::int32_t mINT32::Set(std::int32_t value, ToolkitUI* sender, bool post) {
  return detail::changeValue(*this, lock_, value_, value, sender, post);
}

double mFLT64::Get() { return detail::readValue(lock_, value_); }

double mFLT64::Set(double value, ToolkitUI* sender, bool post) {
  return detail::changeValue(*this, lock_, value_, value, sender, post);
}

}  // namespace corvane::tk
