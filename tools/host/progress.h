// The one progress bar of every command that moves frames, drawn on stderr
// only when stderr is a terminal, not under -q, and only for work that takes
// more than a second. Time comes from the platform clock.
#pragma once

#include <cstdint>
#include <string>

namespace corvane::host {

class Progress {
 public:
  // total 0: unknown (a count is shown instead of a bar).
  Progress(std::string label, std::uint64_t total, bool quiet);
  // Ends the bar's line, so that whatever follows starts on a line of its own.
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  void update(std::uint64_t done);

 private:
  std::string label_;
  std::uint64_t total_;
  std::uint64_t start_;
  std::uint64_t lastDraw_ = 0;
  bool enabled_;
  bool drawn_ = false;
};

// The line that ends a command's work ("corvane-host import: 60 frames ...")
// on stderr, unless quiet.
void printSummary(bool quiet, const std::string& command, const std::string& text);

}  // namespace corvane::host
