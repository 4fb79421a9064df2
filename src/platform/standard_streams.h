// The standard streams carry bytes as they are: y4m frames go through them,
// and a line ends in "\n" on every system, so a tool's output is the same
// file everywhere. (Windows' C runtime opens them translating line ends.)
#pragma once

namespace corvane::platform {

// Call once, first thing in main, before anything is read or written.
void useBinaryStandardStreams();

}  // namespace corvane::platform
