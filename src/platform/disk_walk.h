// What each backend gives the shared free-space look-up: how its paths are
// taken apart and how much room a directory's filesystem has.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace corvane::platform::disk_walk {

bool isDirectory(const std::string& path);
// The path with its last component removed; "" once nothing is left.
std::string parentOf(std::string path);
// Bytes available to the caller on the filesystem holding directory.
std::optional<std::uint64_t> availableBytes(const std::string& directory);

}  // namespace corvane::platform::disk_walk
