#include "board/input_clip.h"

#include <array>

namespace corvane::board {
namespace {

constexpr std::uint32_t kMagic = 0x52544D46;  // "FMTR"
constexpr std::size_t kFileHeaderBytes = 24;
constexpr std::size_t kStreamHeaderBytes = 24;
constexpr std::int16_t kVideoStream = 1;

std::uint32_t u32At(const std::uint8_t* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | std::uint32_t{bytes[3]} << 24;
}

}  // namespace

InputClip::InputClip(const std::string& path, VideoStandard standard) : file_(path, std::ios::binary) {
  std::array<std::uint8_t, kFileHeaderBytes + 2 * kStreamHeaderBytes> head{};
  if (!file_ || !file_.read(reinterpret_cast<char*>(head.data()), head.size())) {
    problem_ = "cannot read the clip " + path;
    return;
  }
  const std::uint8_t* streams = head.data() + kFileHeaderBytes;
  const std::uint32_t field = static_cast<std::uint32_t>(fieldBytes(standard));
  for (int s = 0; s < 2; ++s) {
    const std::uint8_t* stream = streams + s * kStreamHeaderBytes;
    const auto type = static_cast<std::int16_t>(stream[0] | stream[1] << 8);
    if (type != kVideoStream || u32At(stream + 16) != kPixelsPerLine * 2 ||
        u32At(stream + 20) != linesPerField(standard) || u32At(stream + 4) < field) {
      problem_ = path + " is not a 4:2:2 clip of the input's geometry";
      return;
    }
  }
  dataOffset_ = u32At(head.data() + 8);
  frameBlock_ = u32At(head.data() + 16);
  secondBase_ = u32At(streams + 4);
  if (u32At(head.data()) != kMagic || u32At(head.data() + 12) < 2 ||
      frameBlock_ < std::uint64_t{secondBase_} + field) {
    problem_ = path + " is not a QVF clip";
    return;
  }
  file_.seekg(0, std::ios::end);
  const std::uint64_t size = static_cast<std::uint64_t>(file_.tellg());
  const std::uint64_t whole = size > dataOffset_ ? (size - dataOffset_) / frameBlock_ : 0;
  frames_ = static_cast<std::uint32_t>(std::min<std::uint64_t>(whole, 0xFFFFFFFF));
  if (frames_ == 0) problem_ = path + " holds no frame";
}

bool InputClip::readField(std::uint64_t frame, FieldParity field, std::span<std::uint8_t> out) {
  if (!usable()) return false;
  const std::uint64_t at = dataOffset_ + std::uint64_t{frameBlock_} * (frame % frames_) +
                           (field == FieldParity::Second ? secondBase_ : 0);
  file_.clear();
  file_.seekg(static_cast<std::streamoff>(at));
  return static_cast<bool>(
      file_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size())));
}

}  // namespace corvane::board
