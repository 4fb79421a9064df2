// What the board's input carries, field by field: the moving test picture,
// the output's shown frame (loopback) or a clip. Owns the two field buffers
// it fills, so a delivery hands out the board's own memory and allocates
// nothing. Not thread-safe: the delivery thread owns it.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "board/board_config.h"
#include "board/input_clip.h"
#include "board/shown_frame.h"
#include "board/video_standard.h"
#include "platform/memory.h"

namespace corvane::board {

class InputPicture {
 public:
  // shown must outlive this. A clip that cannot be used is reported on
  // stderr and the input carries black instead.
  InputPicture(const BoardConfig& config, VideoStandard standard, const ShownFrame& shown);

  // The field of input frame inputFrame (from 1: the clip's frame 0) that
  // carries count. The span stays valid until the same parity is filled again.
  std::span<std::uint8_t> fill(std::uint64_t inputFrame, std::uint32_t count, FieldParity field);
  // Both fields as last filled, field-separated.
  std::span<const std::uint8_t> frame() const { return {frame_.data(), 2 * fieldBytes(standard_)}; }

 private:
  InputSource source_;
  VideoStandard standard_;
  const ShownFrame& shown_;
  std::unique_ptr<InputClip> clip_;
  platform::PageBuffer frame_;  // both fields, field-separated
  bool patternDrawn_[2] = {false, false};
};

}  // namespace corvane::board
