// A fresh directory under the system's temp dir, removed with its contents
// (made writable first, for tests that take the write bit away), and whole-file
// helpers for what tests put there.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace corvane::testing {

// A directory of our own under the system's temp dir, named prefix and a
// random suffix; empty when none could be made.
inline std::filesystem::path makeTempDirectory(const std::string& prefix) {
  std::random_device random;
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    char suffix[9];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
    std::error_code ec;
    if (std::filesystem::create_directory(base / (prefix + suffix), ec)) return base / (prefix + suffix);
  }
  return {};
}

class TempDir {
 public:
  TempDir() : path_(makeTempDirectory("corvane-").string()) {}
  ~TempDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                 ec);
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string readFile(const std::string& path) {
  std::ostringstream out;
  out << std::ifstream(path, std::ios::binary).rdbuf();
  return out.str();
}

inline void writeFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// The lines of a file that start with prefix.
inline std::vector<std::string> readLines(const std::string& path, const std::string& prefix = "") {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    if (line.starts_with(prefix)) lines.push_back(line);
  return lines;
}

}  // namespace corvane::testing
