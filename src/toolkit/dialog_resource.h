// A dialog template as resource-compiler source, so that the Windows build
// shows the very dialogs the other front ends draw: the template's rectangles
// are dialog units already and go over unchanged. Placeholders become black
// frames; the slider or number box a procedure opens is created over them at
// run time. Radio buttons that follow each other form one group, as in the
// template.
#pragma once

#include <span>
#include <string>

#include "engine/dialog.h"

namespace corvane::tk {

// One DIALOGEX statement for dialog (font "Arial" 8, centred modal frame with
// caption and system menu).
std::string dialogResource(const DialogTemplate& dialog);

// A whole .rc file: the headers the statements need, then each dialog.
std::string dialogResourceFile(std::span<const DialogTemplate* const> dialogs);

}  // namespace corvane::tk
