// The file output's logic for files: the name a file is written under, its
// creation in the load-time geometry, and the recording time left on its disk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/video_mode.h"
#include "qvf/registry.h"

namespace corvane::output {

// path unchanged when its fourth character from the end is '.' (any
// three-letter extension, so "take.avi" stays); otherwise path + ".qvf",
// which also covers paths shorter than four characters and ".mpeg".
std::string writingFileName(std::string_view path);

// Closes any registry entry of name (a reader's included, so the next read
// sees the new file) and drops the old file's unreported write failure, then
// creates the empty two-field file in the load-time geometry and rate. False
// on any failure, whose cause is not reported.
bool createForWriting(qvf::OpenFileRegistry& registry, const VideoMode& mode, const char* name) noexcept;

// Free bytes of the filesystem holding a directory; nullopt when unknown.
using FreeBytesSource = std::optional<std::uint64_t> (*)(const char* directory);

// The directory whose disk a free-space query examines. There are no drive
// letters here: a path that starts with one ("D:...") asks about the current
// directory; any other path about its own directory.
std::string freeSpaceDirectory(std::string_view path);

// Whole frame blocks (W x H x 2 bytes) that fit in the free space of path's
// disk, as the low 32 bits of the quotient; nullopt when the space is unknown.
std::optional<std::uint32_t> framesThatFit(std::string_view path, const VideoMode& mode,
                                           FreeBytesSource source);

}  // namespace corvane::output
