// The text side of profile files, apart from any file system: finding a value
// and producing the edited text of a write. Lines a write does not replace are
// carried over byte for byte, line endings included.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/profile.h"

namespace corvane::platform::profile_text {

// The value of key in the first section named section (ASCII case-insensitive),
// trimmed of spaces and tabs and of one pair of enclosing double quotes.
std::optional<std::string> findProfileValue(std::string_view text, std::string_view section,
                                            std::string_view key);

// Every key of the first section named section with its value, trimmed as
// findProfileValue trims it, in file order.
ProfileSection profileSectionValues(std::string_view text, std::string_view section);

// True when section, key and value can be stored so that they read back as
// given: single-line, a key without '=' and not starting like a comment or a
// header, a section without ']'.
bool isStorableProfileEntry(std::string_view section, std::string_view key, std::string_view value);

// text with key = value set in section: the first matching key line is
// rewritten in place (keeping the key's spelling), or the key is appended at
// the end of the section, or the section is appended at the end of the text.
// Requires isStorableProfileEntry.
std::string withProfileValue(std::string_view text, std::string_view section, std::string_view key,
                             std::string_view value);

}  // namespace corvane::platform::profile_text
