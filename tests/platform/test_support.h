// Scratch directories and whole-file helpers for the platform tests.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

#include "support/temp_dir.h"

namespace corvane::platform::test {

using corvane::testing::TempDir;

inline std::string readFile(const std::string& path) {
  std::ostringstream out;
  out << std::ifstream(path, std::ios::binary).rdbuf();
  return out.str();
}

inline void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

}  // namespace corvane::platform::test
