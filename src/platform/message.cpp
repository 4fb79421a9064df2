#include "platform/message.h"

#include <string>

#include "platform/environment.h"

namespace corvane::platform {

void showMessageBox(std::string_view caption, std::string_view text) {
  writeErrorLine(std::string(caption) + ": " + std::string(text));
  if (auto logPath = environmentValue("CORVANE_MESSAGE_LOG"); logPath && !logPath->empty()) {
    std::string line;
    line.reserve(caption.size() + text.size() + 2);
    line.append(caption).append("\t").append(text).append("\n");
    appendToLog(*logPath, line);
  }
  showSystemMessageBox(caption, text);
}

}  // namespace corvane::platform
