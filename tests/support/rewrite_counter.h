// Counts the times files in one folder are replaced or written over while it
// lives. Only where the system tells each close of a written file apart
// (inotify); elsewhere there is no count to give.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace corvane::testing {

class RewriteCounter {
 public:
  explicit RewriteCounter(const std::filesystem::path& folder);
  ~RewriteCounter();
  RewriteCounter(const RewriteCounter&) = delete;
  RewriteCounter& operator=(const RewriteCounter&) = delete;

  // Rewrites of the file named name since the last call, once the writers
  // have ended; nullopt where this system cannot count them.
  std::optional<int> rewritesOf(const std::string& name);

 private:
  struct Watch;
  std::unique_ptr<Watch> watch_;
};

}  // namespace corvane::testing
