// EngineError: a failure inside the plug-in, carried as one of the system's
// constant message texts. The export guard shows the text under the export's
// name; nothing else crosses a module boundary as an exception.
#pragma once

#include <exception>

namespace corvane {

class EngineError : public std::exception {
 public:
  // message must have static storage duration (it is one of the fixed texts).
  explicit EngineError(const char* message) noexcept : message_(message) {}
  const char* what() const noexcept override { return message_; }

 private:
  const char* message_;
};

}  // namespace corvane
