// A progress bar on stderr for work that takes more than a second; quicker
// work prints nothing. Time comes from the platform clock.
#pragma once

#include <cstdint>
#include <string>

namespace corvane::host {

class Progress {
 public:
  // total 0: unknown (a count is shown instead of a bar).
  Progress(std::string label, std::uint64_t total);
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
  bool drawn_ = false;
};

}  // namespace corvane::host
