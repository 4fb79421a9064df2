// Message boxes. Every box is one line "caption: text" on stderr, and, when
// CORVANE_MESSAGE_LOG names a file, the line "caption<TAB>text" appended to it
// (one write, so concurrent boxes never mix). On Windows, while CORVANE_DIALOGS
// is unset (the system's own dialogs), the box is also shown and waits for its
// OK; with none, tty or script:PATH nobody would click it, so it is not.
#pragma once

#include <string>
#include <string_view>

namespace corvane::platform {

void showMessageBox(std::string_view caption, std::string_view text);

// The system's own box, which showMessageBox shows after its lines: on
// Windows with CORVANE_DIALOGS unset, MessageBoxA waiting for OK; nothing
// elsewhere.
void showSystemMessageBox(std::string_view caption, std::string_view text);

// Writes text and a line break to stderr in one system write. Safe at any
// time, also while libraries are still being initialised: it needs no
// stream object of any library.
void writeErrorLine(std::string_view text);

// Appends text to the file at path (created when missing) in one write, so
// lines from several writers never interleave. Failures are ignored: a log
// must never stop what it records.
void appendToLog(const std::string& path, std::string_view text);

}  // namespace corvane::platform
