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
// not a regular file (a link to /dev/null) is never replaced, and a file
// without write permission (no write bit at all binds root too) is left as it
// is. In a folder where no temporary can be made, a writable file is rewritten
// in place. Every read or save removes the temporaries that saves killed
// midway left behind. The first failed write of the process
// says on stderr which file could not be saved and why.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvane::platform {

// Directory of the profile files: $CORVANE_CONFIG_DIR, else
// $XDG_CONFIG_HOME/corvane, else ~/.config/corvane. Read at every call.
std::string profileDirectory();

// Full path of a profile file given, as the native calls take it, by bare name.
std::string profilePath(std::string_view fileName);

// The value of key in section, or nullopt when the file, the section or the
// key is missing.
std::optional<std::string> readProfileValue(const std::string& path, std::string_view section,
                                            std::string_view key);

// Sets key = value in section, adding the section and the key where missing
// and creating the directory and file. False when the file cannot be written
// (the old file is then untouched) or the entry would not read back as given.
bool writeProfileValue(const std::string& path, std::string_view section, std::string_view key,
                       std::string_view value);

}  // namespace corvane::platform
