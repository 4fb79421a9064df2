#include "toolkit/dialog_log.h"

#include <cstdio>

#include "platform/environment.h"
#include "platform/message.h"

namespace corvane::tk::detail {

DialogLog DialogLog::fromEnvironment() {
  auto path = platform::environmentValue("CORVANE_DIALOG_LOG");
  if (path && path->empty()) path.reset();
  return DialogLog(std::move(path));
}

void DialogLog::append(std::string_view line) {
  if (!path_) return;
  std::string text(line);
  text.push_back('\n');
  platform::appendToLog(*path_, text);
}

std::string formatValue(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

}  // namespace corvane::tk::detail
