// Small shell scripts standing in for the preview programs, and a PATH that
// finds them first for the life of a test.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "support/system.h"

namespace corvane::testing {

// Writes an executable "#!/bin/sh" script at path.
inline void writeScript(const std::string& path, const std::string& body) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << "#!/bin/sh\n" << body << "\n";
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

class ScopedPath {
 public:
  explicit ScopedPath(const std::string& value) {
    saved_ = environmentValue("PATH").value_or("");
    setEnvironmentValue("PATH", value);
  }
  ~ScopedPath() { setEnvironmentValue("PATH", saved_); }
  ScopedPath(const ScopedPath&) = delete;
  ScopedPath& operator=(const ScopedPath&) = delete;
  const std::string& saved() const { return saved_; }

 private:
  std::string saved_;
};

// Waits (bounded, generously) for something a child does; false if it never happens.
template <typename Condition>
bool eventually(Condition condition) {
  for (int i = 0; i < 2000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return condition();
}

}  // namespace corvane::testing
