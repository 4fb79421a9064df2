// Where an export writes: standard output ("-"), a new or regular file that
// appears only when complete (a PartialFile renamed at commit; dropped
// without commit, nothing is left), or a FIFO or device written through as
// it is.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "host/output_target.h"

namespace corvane::host {

class OutputStream {
 public:
  // A target shown as "-" is standard output. Throws std::runtime_error,
  // naming the user's file, when it cannot be opened.
  OutputStream(const OutputTarget& target, const std::string& command);
  ~OutputStream();
  OutputStream(const OutputStream&) = delete;
  OutputStream& operator=(const OutputStream&) = delete;

  std::FILE* get() const { return file_; }
  const std::string& shown() const { return shown_; }
  void write(std::span<const std::uint8_t> bytes);
  // Throws "cannot write NAME: REASON" from the stream's last error.
  [[noreturn]] void failed() const;
  // Flushes, closes and (for a new or regular file) renames into place.
  void commit();

 private:
  std::string shown_;
  std::unique_ptr<PartialFile> partial_;
  std::FILE* file_ = nullptr;
  bool ownsFile_ = false;  // a written-through FIFO or device
};

}  // namespace corvane::host
