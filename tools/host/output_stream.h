// Where an export writes: standard output ("-"), or a file that appears only
// when it is complete. A file is written under "NAME.partial" and renamed at
// commit; dropped without commit (an error on the way), the partial file is
// removed, so a failed run never leaves a file that looks complete.
#pragma once

#include <cstdio>
#include <string>

namespace corvane::host {

class OutputStream {
 public:
  // Throws std::runtime_error when the file cannot be created.
  explicit OutputStream(const std::string& path);
  ~OutputStream();
  OutputStream(const OutputStream&) = delete;
  OutputStream& operator=(const OutputStream&) = delete;

  std::FILE* get() const { return file_; }
  // Flushes, closes and (for a file) renames into place.
  void commit();

 private:
  std::string path_;
  std::string partial_;
  std::FILE* file_ = nullptr;
  bool toStdout_ = false;
};

// The name beside path that an unfinished write uses.
std::string partialNameFor(const std::string& path);

}  // namespace corvane::host
