// Private-profile INI files: the settings store of the plug-in.
//
// Semantics follow the classic profile functions: section and key names
// compare case-insensitively, values are trimmed of surrounding blanks, and
// every line that a write does not replace (other sections, comments, unknown
// keys) is kept as it was.
//
// Writes are read-modify-write under an exclusive lock shared by every process,
// into a temporary file beside the file that is then renamed over it, so a
// crash or a concurrent writer never leaves a torn file. A symbolic link is
// written through: its target is replaced and the link stays. A target that is
// not a regular file (a FIFO, a folder, a link to /dev/zero) is never opened
// for reading in a way that could block, reads as absent and is never
// written; nor is a file above kMaxProfileBytes, which is left untouched. A
// file without write permission (no write bit at all binds root too) is left
// as it is. In a folder where no temporary can be made, a writable file is
// rewritten in place. Every read or save removes the temporaries that saves
// killed midway left behind. The first refused read or failed write of the
// process says on stderr which file and why (one line for both).
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvane::platform {

// Directory of the profile files: $CORVANE_CONFIG_DIR, else
// $XDG_CONFIG_HOME/corvane, else ~/.config/corvane; on Windows
// $CORVANE_CONFIG_DIR, else the Windows directory, where the system's profile
// calls put a bare file name. Read at every call.
std::string profileDirectory();

// Full path of a profile file given, as the native calls take it, by bare name.
std::string profilePath(std::string_view fileName);

// A settings file is a few kilobytes; a bigger one is not ours to read or
// rewrite.
inline constexpr std::size_t kMaxProfileBytes = std::size_t{1} << 20;

// One key and its value, as written in the file.
struct ProfileEntry {
  std::string key;
  std::string value;
};

// The entries of one section in file order; the first of a name is the one
// that counts, as for readProfileValue.
using ProfileSection = std::vector<ProfileEntry>;

// Whether two section or key names are the same name: ASCII case and
// surrounding blanks do not count.
bool sameProfileName(std::string_view a, std::string_view b);

// The value of key (case-insensitive) in section, or nullopt.
std::optional<std::string> findProfileEntry(const ProfileSection& section, std::string_view key);

// Why the file at path would be refused (not a regular file, above
// kMaxProfileBytes), or nullopt when it is usable or missing. Says nothing.
std::optional<std::string> profileRefusal(const std::string& path);

// Every entry of section in one read of the file; empty when the file or the
// section is missing, or the file is refused (said once on stderr).
ProfileSection readProfileSection(const std::string& path, std::string_view section);

// The value of key in section, or nullopt when the file, the section or the
// key is missing.
std::optional<std::string> readProfileValue(const std::string& path, std::string_view section,
                                            std::string_view key);

// Sets key = value in section, adding the section and the key where missing
// and creating the directory and file. False when the file cannot be written
// (the old file is then untouched) or the entry would not read back as given.
bool writeProfileValue(const std::string& path, std::string_view section, std::string_view key,
                       std::string_view value);

// Sets every entry in section, in order, in one locked rewrite of the file
// (none when nothing changes). False as for writeProfileValue; the first
// failure of the process is said on stderr.
bool writeProfileValues(const std::string& path, std::string_view section,
                        std::span<const ProfileEntry> entries);

// The same without a word on stderr: the reason in words on failure, nullopt
// on success. For callers that tell the user themselves.
std::optional<std::string> saveProfileValues(const std::string& path, std::string_view section,
                                             std::span<const ProfileEntry> entries);

}  // namespace corvane::platform
