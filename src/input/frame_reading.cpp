#include "input/frame_reading.h"

#include <cstring>

#include "qvf/reader.h"

namespace corvane::input {
namespace {

// Field numbers are 32-bit: frames from 2^31 on cannot be addressed.
constexpr std::uint32_t kLastAddressableFrame = 0x7FFF'FFFF;

bool sectorAligned(const std::uint8_t* p) {
  return reinterpret_cast<std::uintptr_t>(p) % qvf::kSectorSize == 0;
}

// The unbuffered handle may move whole chunks straight into the host's
// buffer only when the buffer is sector-aligned and each field fills its
// chunk exactly (no padding would spill into the next field or past the end).
bool directTransferFits(qvf::QvfStream& stream, const std::uint8_t* buffer, std::uint32_t fieldBytes) {
  const qvf::VideoStreamContext* first = stream.video(0);
  const qvf::VideoStreamContext* second = stream.video(1);
  return sectorAligned(buffer) && first != nullptr && second != nullptr && first->chunkSize == fieldBytes &&
         second->chunkSize == fieldBytes;
}

// "4:2:2": field 0 then field 1. A misaligned host buffer goes through the
// entry's own chunk buffers and one copy, never an allocation.
bool readFields(qvf::OpenFileRegistry& registry, const char* path, std::uint32_t n,
                std::span<std::uint8_t> buffer) {
  qvf::OpenFileRegistry::Access entry = registry.access(path);
  if (!entry || n > kLastAddressableFrame) return false;
  qvf::QvfStream& stream = *entry->stream;
  const std::uint32_t fieldBytes = entry->fieldBytes;
  if (buffer.size() < std::uint64_t{fieldBytes} * 2) return false;
  if (directTransferFits(stream, buffer.data(), fieldBytes)) {
    const bool first = stream.readField(2 * n, 0, buffer.data());
    const bool second = stream.readField(2 * n + 1, 0, buffer.data() + fieldBytes);
    return first && second;
  }
  // As on the direct path, field 1 is read even when field 0 fails.
  bool both = true;
  for (std::uint32_t f = 0; f < 2; ++f) {
    const qvf::VideoStreamContext* context = stream.contextFor(2 * n + f, 0);
    if (context == nullptr || context->chunkBuffer.size() < fieldBytes) return false;
    const std::uint8_t* chunk = stream.readFieldIntoContext(2 * n + f, 0);
    if (chunk == nullptr) {
      both = false;
      continue;
    }
    std::memcpy(buffer.data() + std::size_t{f} * fieldBytes, chunk, fieldBytes);
  }
  return both;
}

void putTrailer(std::span<std::uint8_t> buffer, FrameSize size) {
  const std::uint32_t fieldBytes = size.width * size.height;
  std::uint8_t* trailer = buffer.data() + std::size_t{2} * fieldBytes;
  for (int i = 0; i < 4; ++i) trailer[i] = static_cast<std::uint8_t>(fieldBytes >> (8 * i));
}

}  // namespace

std::uint64_t requiredBufferBytes(exports::PixelFormat format, FrameSize size) {
  const std::uint64_t pixels = std::uint64_t{size.width} * size.height;
  return format == exports::PixelFormat::Ycbcr422 ? pixels * 2 + 4 : pixels * 4;
}

bool readFrame(qvf::OpenFileRegistry& registry, const char* path, std::uint32_t n,
               exports::PixelFormat format, FrameSize size, std::span<std::uint8_t> buffer) {
  if (buffer.data() == nullptr || buffer.size() < requiredBufferBytes(format, size)) return false;
  switch (format) {
    case exports::PixelFormat::Ycbcr422:
      if (!readFields(registry, path, n, buffer.first(buffer.size() - 4))) return false;
      putTrailer(buffer, size);
      return true;
    case exports::PixelFormat::Rgba32:
      return qvf::readFrameBgra(registry, path, n, buffer);
    case exports::PixelFormat::Ycbcr444:
      return qvf::readFrame444(registry, path, n, buffer);
  }
  return false;
}

}  // namespace corvane::input
