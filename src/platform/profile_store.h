// What each backend's profile code gives the shared profile calls: the file
// side (reading a whole settings file, saving entries into it) apart from
// the text side (profile_text.h) and the public calls (profile.h).
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "platform/profile.h"

namespace corvane::platform::profile_store {

// The text of the file at path for a lookup: empty when missing or refused
// (a refusal said through reportOnce). Removes stale temporaries beside a
// file that is ours when no save is running.
std::string readForLookup(const std::string& path);

// Sets the entries (already checked storable) in one locked, atomic
// rewrite; on failure, reason says why in words for the user.
bool saveEntries(const std::string& path, std::string_view section, std::span<const ProfileEntry> entries,
                 std::string& reason);

// One line on stderr for the first refused or failed access of the process:
// the settings then live in memory only, and the user should know why.
void reportOnce(const std::string& line);

// Temporaries of a save are named prefix + six letters or digits.
inline constexpr std::size_t kTemporaryLetters = 6;
// True when name is one of those for prefix (".settings.ini.").
bool isStaleTemporaryName(std::string_view name, std::string_view prefix);

// The refusal of a file above kMaxProfileBytes, in words.
std::string sizeRefusal(const std::string& path);

}  // namespace corvane::platform::profile_store
