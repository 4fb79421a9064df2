#include "board/input_picture.h"

#include "board/test_pattern.h"
#include "platform/message.h"

namespace corvane::board {

InputPicture::InputPicture(const BoardConfig& config, VideoStandard standard, const ShownFrame& shown)
    : source_(config.input), standard_(standard), shown_(shown), frame_(2 * fieldBytes(standard)) {
  fillVideoBlack(frame_.bytes());
  if (source_ == InputSource::File) {
    clip_ = std::make_unique<InputClip>(config.inputPath, standard);
    if (!clip_->usable())
      platform::writeErrorLine("CORVANE_BOARD: input: " + clip_->problem() + " (black instead)");
  }
}

std::span<std::uint8_t> InputPicture::fill(std::uint64_t inputFrame, std::uint32_t count, FieldParity field) {
  const std::size_t bytes = fieldBytes(standard_);
  const std::span<std::uint8_t> whole(frame_.data(), 2 * bytes);
  const std::span<std::uint8_t> out = whole.subspan(field == FieldParity::First ? 0 : bytes, bytes);
  switch (source_) {
    case InputSource::Pattern: {
      bool& drawn = patternDrawn_[static_cast<int>(field)];
      drawTestPatternField(standard_, count, field, out, drawn ? PatternPart::Moving : PatternPart::Whole);
      drawn = true;
      break;
    }
    case InputSource::Loopback:
      // Both fields of an input frame come from the frame shown at its first.
      if (field == FieldParity::First) shown_.copyOut(whole);
      break;
    case InputSource::File:
      if (clip_->usable()) {
        if (!clip_->readField(inputFrame - 1, field, out)) fillVideoBlack(out);
      }
      break;
  }
  return out;
}

}  // namespace corvane::board
