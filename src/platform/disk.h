// Free space on the disk that holds a path, as the writing services report it.
#pragma once

#include <cstdint>
#include <optional>

namespace corvane::platform {

// Bytes available to the caller on the filesystem of the nearest existing
// directory of path (the path itself when it is a directory, else its parents
// in turn; a relative path ends at the working directory). nullopt when none
// can be examined.
std::optional<std::uint64_t> freeDiskBytes(const char* path);

}  // namespace corvane::platform
