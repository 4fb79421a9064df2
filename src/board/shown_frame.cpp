#include "board/shown_frame.h"

#include <algorithm>
#include <array>

namespace corvane::board {

void fillVideoBlack(std::span<std::uint8_t> out) {
  constexpr std::array<std::uint8_t, 4> kBlack{0x80, 0x10, 0x80, 0x10};  // Cb Y Cr Y
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = kBlack[i % 4];
}

void ShownFrame::show(std::span<const std::uint8_t> frame) {
  std::lock_guard guard(lock_);
  frame_.assign(frame.begin(), frame.end());
}

void ShownFrame::copyOut(std::span<std::uint8_t> out) const {
  std::lock_guard guard(lock_);
  if (frame_.size() == out.size()) {
    std::copy(frame_.begin(), frame_.end(), out.begin());
  } else {
    fillVideoBlack(out);
  }
}

}  // namespace corvane::board
