// The modal "Warning !" dialog (resource 103): a text, a "Do not show this
// message again" box and OK. The dialog host comes with the settings
// dialogs; until then every mode of CORVANE_DIALOGS behaves like "none": the
// dialog closes at once, as with Escape, with the box clear.
#pragma once

#include <string>

namespace corvane::plugin {

// Returns whether the box was ticked when the dialog closed.
bool showWarningDialog(const std::string& text);

}  // namespace corvane::plugin
