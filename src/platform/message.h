// Message boxes. There is no desktop here: a box is one line "caption: text"
// on stderr, and, when CORVANE_MESSAGE_LOG names a file, the line
// "caption<TAB>text" appended to it (one write, so concurrent boxes never mix).
#pragma once

#include <string_view>

namespace corvane::platform {

void showMessageBox(std::string_view caption, std::string_view text);

}  // namespace corvane::platform
