#include "output/frame_writing.h"

#include <algorithm>
#include <cstring>

#include "qvf/reader.h"
#include "qvf/writer.h"

namespace corvane::output {
namespace {

constexpr std::uint8_t kHighestValue = 254;
// Field numbers are 32-bit: frames from 2^31 on cannot be addressed.
constexpr std::uint32_t kLastAddressableFrame = 0x7FFF'FFFF;

bool sectorAligned(const std::uint8_t* p) {
  return reinterpret_cast<std::uintptr_t>(p) % qvf::kSectorSize == 0;
}

bool sameGeometry(const qvf::FrameGeometry& geometry, const VideoMode& mode) {
  return geometry.width == mode.frameWidth && geometry.linesPerField * 2 == mode.frameHeight;
}

// "4:2:2": field 0 then field 1 as whole chunks. A sector-aligned host buffer
// whose fields fill their chunks goes straight to the unbuffered handle;
// any other is copied into the entry's chunk buffers first, so an arbitrary
// host buffer never meets the alignment rule and nothing is allocated.
bool writeFields(qvf::OpenFileRegistry& registry, const VideoMode& mode, const char* path,
                 std::span<const std::uint8_t> frame) {
  qvf::OpenFileRegistry::Access entry = registry.access(path);
  if (!entry || !sameGeometry({entry->width, entry->lines}, mode)) return false;
  qvf::QvfStream& stream = *entry->stream;
  qvf::VideoStreamContext* first = stream.video(0);
  qvf::VideoStreamContext* second = stream.video(1);
  const std::uint32_t fieldBytes = entry->fieldBytes;
  if (first == nullptr || second == nullptr || frame.size() < std::uint64_t{fieldBytes} * 2) return false;
  if (first->chunkBuffer.size() < fieldBytes || second->chunkBuffer.size() < fieldBytes) return false;

  const std::uint32_t n = entry->frameCounter++;
  if (n > kLastAddressableFrame) return false;
  const bool direct =
      sectorAligned(frame.data()) && first->chunkSize == fieldBytes && second->chunkSize == fieldBytes;
  for (std::uint32_t f = 0; f < 2; ++f) {
    const std::uint8_t* field = frame.data() + std::size_t{f} * fieldBytes;
    if (direct) {
      if (!stream.writeField(2 * n + f, 0, field)) return false;
    } else {
      std::memcpy(stream.contextBuffer(2 * n + f, 0), field, fieldBytes);
      if (!stream.writeFieldFromContext(2 * n + f, 0)) return false;
    }
  }
  return true;
}

}  // namespace

void limitFrameValues(exports::PixelFormat format, std::span<std::uint8_t> frame) {
  if (format == exports::PixelFormat::Rgba32) return;
  const std::size_t limitedPerStep = format == exports::PixelFormat::Ycbcr422 ? 4 : 3;
  for (std::size_t i = 0; i + 4 <= frame.size(); i += 4)
    for (std::size_t b = 0; b < limitedPerStep; ++b) frame[i + b] = std::min(frame[i + b], kHighestValue);
}

bool writeFrame(qvf::OpenFileRegistry& registry, const VideoMode& mode, const char* path,
                exports::PixelFormat format, std::span<std::uint8_t> frame) {
  if (frame.data() == nullptr ||
      frame.size() != exports::frameBytes(format, mode.frameWidth, mode.frameHeight))
    return false;
  limitFrameValues(format, frame);
  switch (format) {
    case exports::PixelFormat::Ycbcr422:
      return writeFields(registry, mode, path, frame);
    case exports::PixelFormat::Rgba32:
    case exports::PixelFormat::Ycbcr444: {
      // The writer converts the file's geometry from the host's buffer, which
      // holds the load-time geometry: they must agree.
      const std::optional<qvf::FrameGeometry> geometry = qvf::frameGeometry(registry, path);
      if (!geometry || !sameGeometry(*geometry, mode)) return false;
      const std::span<const std::uint8_t> source = frame;
      return format == exports::PixelFormat::Rgba32 ? qvf::writeFrameBgra(registry, path, source)
                                                    : qvf::writeFrame444(registry, path, source);
    }
  }
  return false;
}

}  // namespace corvane::output
