#include "toolkit/terminal_keys.h"

namespace corvane::tk::detail {
namespace {

// A sequence's bytes arrive together; a human's next key does not.
constexpr int kSequencePauseMs = 40;

KeyPress sequence(const std::function<std::optional<std::uint8_t>(int)>& nextByte) {
  const auto introducer = nextByte(kSequencePauseMs);
  if (!introducer) return {Key::Escape};
  if (*introducer != '[' && *introducer != 'O') return {Key::None};
  int parameter = 0;
  for (;;) {
    const auto byte = nextByte(kSequencePauseMs);
    if (!byte) return {Key::None};
    if (*byte >= '0' && *byte <= '9') {
      parameter = parameter * 10 + (*byte - '0');
      continue;
    }
    if (*byte == ';') continue;
    switch (*byte) {
      case 'A':
        return {Key::Up};
      case 'B':
        return {Key::Down};
      case 'C':
        return {Key::Right};
      case 'D':
        return {Key::Left};
      case 'Z':
        return {Key::BackTab};
      case '~':
        return parameter == 5 ? KeyPress{Key::PageUp} : parameter == 6 ? KeyPress{Key::PageDown} : KeyPress{};
      default:
        return {Key::None};
    }
  }
}

}  // namespace

KeyPress readKey(const std::function<std::optional<std::uint8_t>(int)>& nextByte, int waitMs) {
  const auto byte = nextByte(waitMs);
  if (!byte) return {};
  switch (*byte) {
    case 0x1b:
      return sequence(nextByte);
    case '\t':
      return {Key::Tab};
    case '\r':
    case '\n':
      return {Key::Enter};
    case ' ':
      return {Key::Space};
    case 0x7f:
    case 0x08:
      return {Key::Backspace};
    default:
      break;
  }
  if (*byte >= 0x20 && *byte < 0x7f) return {Key::Character, static_cast<char>(*byte)};
  return {};
}

}  // namespace corvane::tk::detail
