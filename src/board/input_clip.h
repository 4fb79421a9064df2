// A 4:2:2 QVF clip as the board's input carries it (input=PATH): field 0 of a
// frame is the clip's stream 0 chunk, field 1 its stream 1 chunk, and after
// the last frame the clip starts again. The board reads the few header words
// it needs itself: it sits below the file engine.
#pragma once

#include <cstdint>
#include <fstream>
#include <span>
#include <string>

#include "board/video_standard.h"

namespace corvane::board {

class InputClip {
 public:
  // A clip that cannot be read, or whose fields are not of standard's
  // geometry, is kept unusable with the reason in problem().
  InputClip(const std::string& path, VideoStandard standard);

  bool usable() const { return problem_.empty(); }
  const std::string& problem() const { return problem_; }
  std::uint32_t frames() const { return frames_; }

  // Field of clip frame (frame modulo the clip's length) into out, which holds
  // one field. False when the read fails; out is then left as it was.
  bool readField(std::uint64_t frame, FieldParity field, std::span<std::uint8_t> out);

 private:
  std::ifstream file_;
  std::string problem_;
  std::uint32_t dataOffset_ = 0;
  std::uint32_t frameBlock_ = 0;
  std::uint32_t secondBase_ = 0;  // stream 1's chunk, from the start of a frame block
  std::uint32_t frames_ = 0;
};

}  // namespace corvane::board
