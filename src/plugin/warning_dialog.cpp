#include "plugin/warning_dialog.h"

namespace corvane::plugin {

bool showWarningDialog(const std::string&) { return false; }

}  // namespace corvane::plugin
