// Scratch directories, environment overrides and whole-file helpers for the
// platform tests.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "support/temp_dir.h"

namespace corvane::platform::test {

using corvane::testing::TempDir;

// Sets (or, with nullopt, removes) a variable and puts the old state back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = ::getenv(name)) old_ = old;
    apply(value);
  }
  ~ScopedEnv() { apply(old_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  void apply(const std::optional<std::string>& v) {
    v ? ::setenv(name_.c_str(), v->c_str(), 1) : ::unsetenv(name_.c_str());
  }
  std::string name_;
  std::optional<std::string> old_;
};

inline std::string readFile(const std::string& path) {
  std::ostringstream out;
  out << std::ifstream(path, std::ios::binary).rdbuf();
  return out.str();
}

inline void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

}  // namespace corvane::platform::test
