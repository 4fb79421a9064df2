#include "host/progress.h"

#include <algorithm>
#include <cstdio>

#include "host/command.h"
#include "platform/clock.h"
#include "platform/file_status.h"

namespace corvane::host {
namespace {
constexpr std::uint64_t kQuietMicroseconds = 1'000'000;
constexpr std::uint64_t kRedrawMicroseconds = 100'000;
constexpr int kBarWidth = 30;
}  // namespace

Progress::Progress(std::string label, std::uint64_t total, bool quiet)
    : label_(std::move(label)),
      total_(total),
      start_(platform::systemClock().microseconds()),
      enabled_(!quiet && platform::isTerminal(stderr)) {}

Progress::~Progress() {
  if (drawn_) std::fputc('\n', stderr);
}

void Progress::update(std::uint64_t done) {
  if (!enabled_) return;
  const std::uint64_t now = platform::systemClock().microseconds();
  if (now - start_ < kQuietMicroseconds) return;
  if (drawn_ && now - lastDraw_ < kRedrawMicroseconds && done != total_) return;
  lastDraw_ = now;
  drawn_ = true;
  if (total_ == 0) {
    std::fprintf(stderr, "\r%s %s", label_.c_str(), counted(done, "frame").c_str());
  } else {
    const int filled = static_cast<int>(std::min(done, total_) * kBarWidth / total_);
    std::fprintf(stderr, "\r%s [%.*s%*s] %llu/%llu", label_.c_str(), filled, "##############################",
                 kBarWidth - filled, "", static_cast<unsigned long long>(done),
                 static_cast<unsigned long long>(total_));
  }
  std::fflush(stderr);
}

void printSummary(bool quiet, const std::string& command, const std::string& text) {
  if (!quiet) std::fprintf(stderr, "corvane-host %s: %s\n", command.c_str(), text.c_str());
}

}  // namespace corvane::host
