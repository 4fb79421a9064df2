// The one change protocol shared by every observable variable: an equal value
// changes nothing; otherwise 0x400 goes out, the value is stored under the
// variable's lock, and 0x401 goes out. Both announcements are made with no
// lock held, so a dependant may read the variable from any thread meanwhile.
#pragma once

#include <mutex>

#include "engine/toolkit.h"

namespace corvane::tk::detail {

inline void announce(TKmsg& variable, std::int32_t message, ToolkitUI* sender, bool post) {
  if (post) {
    variable.PostMessageA(message, sender);
  } else {
    variable.SendMessageA(message, sender);
  }
}

// Gives the value that the store replaced (the current value when equal).
template <class Value>
Value changeValue(TKmsg& variable, vBlock& lock, Value& stored, Value value, ToolkitUI* sender, bool post) {
  Value current;
  {
    std::lock_guard guard(lock);
    current = stored;
  }
  if (current == value) return current;
  announce(variable, kMessageChanging, sender, post);
  Value previous;
  {
    std::lock_guard guard(lock);
    previous = stored;
    stored = value;
  }
  announce(variable, kMessageChanged, sender, post);
  return previous;
}

template <class Value>
Value readValue(vBlock& lock, const Value& stored) {
  std::lock_guard guard(lock);
  return stored;
}

}  // namespace corvane::tk::detail
