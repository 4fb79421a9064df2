// The latest frame the output stream has shown, kept for the input's
// loopback: the output fills it, the input copies it out. Before anything is
// shown the board carries video black. Thread-safe.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

namespace corvane::board {

class ShownFrame {
 public:
  // Keeps a copy of frame (720 x lines x 2 bytes, field-separated) until the
  // next show. Allocates only when the frame's size changes.
  void show(std::span<const std::uint8_t> frame);

  // Copies the latest shown frame into out, or video black (80 10 80 10)
  // where nothing of out's size has been shown.
  void copyOut(std::span<std::uint8_t> out) const;

 private:
  mutable std::mutex lock_;
  std::vector<std::uint8_t> frame_;  // guarded by lock_
};

// Fills out with the 4:2:2 black the board carries with no picture.
void fillVideoBlack(std::span<std::uint8_t> out);

}  // namespace corvane::board
