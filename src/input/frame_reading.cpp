#include "input/frame_reading.h"

#include "qvf/frame_transfer.h"

namespace corvane::input {
namespace {

void putTrailer(std::span<std::uint8_t> buffer, FrameSize size) {
  const std::uint32_t fieldBytes = size.width * size.height;
  std::uint8_t* trailer = buffer.data() + std::size_t{2} * fieldBytes;
  for (int i = 0; i < 4; ++i) trailer[i] = static_cast<std::uint8_t>(fieldBytes >> (8 * i));
}

}  // namespace

FrameSize frameSizeOf(const qvf::OpenFileEntry& entry) { return {entry.width, entry.lines * 2}; }

std::uint64_t requiredBufferBytes(exports::PixelFormat format, FrameSize size) {
  const std::uint64_t pixels = std::uint64_t{size.width} * size.height;
  return format == exports::PixelFormat::Ycbcr422 ? pixels * 2 + 4 : pixels * 4;
}

bool readFrame(qvf::OpenFileEntry& entry, std::uint32_t n, exports::PixelFormat format,
               std::span<std::uint8_t> buffer) {
  const FrameSize size = frameSizeOf(entry);
  if (buffer.data() == nullptr || buffer.size() < requiredBufferBytes(format, size)) return false;
  if (!qvf::readFrame(entry, n, exports::frameLayoutOf(format), buffer)) return false;
  if (format == exports::PixelFormat::Ycbcr422) putTrailer(buffer, size);
  return true;
}

}  // namespace corvane::input
