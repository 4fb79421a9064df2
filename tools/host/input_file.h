// The first check on a file a command reads: one line with the system's
// reason when it cannot be read at all, before the plug-in is asked.
#pragma once

#include <string>

namespace corvane::host {

// Throws std::runtime_error for a missing, unreadable or non-regular file
// (a FIFO passes: it is read as a stream). "-" is standard input and passes.
void requireReadableFile(const std::string& path);

}  // namespace corvane::host
