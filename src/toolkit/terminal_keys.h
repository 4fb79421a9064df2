// Keys from the bytes a terminal sends: single bytes, and the escape
// sequences of the arrow and paging keys. A lone Escape is told from the
// start of a sequence by the pause after it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace corvane::tk::detail {

enum class Key : std::uint8_t {
  None,  // nothing typed in time, or a sequence we do not use
  Character,
  Tab,
  BackTab,
  Up,
  Down,
  Left,
  Right,
  PageUp,
  PageDown,
  Enter,
  Space,
  Backspace,
  Escape,
};

struct KeyPress {
  Key key = Key::None;
  char character = 0;  // for Key::Character
};

// Reads one key; nextByte(timeoutMs) gives the next byte or nothing in time.
// waitMs bounds the wait for the first byte.
KeyPress readKey(const std::function<std::optional<std::uint8_t>(int)>& nextByte, int waitMs);

}  // namespace corvane::tk::detail
