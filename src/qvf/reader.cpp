#include "qvf/reader.h"

namespace corvane::qvf {

std::uint32_t frameCount(OpenFileRegistry& registry, const char* path) {
  OpenFileRegistry::Access entry = registry.access(path);
  return entry ? entry->stream->frameCount() : 0;
}

std::optional<FrameGeometry> frameGeometry(OpenFileRegistry& registry, const char* path) {
  OpenFileRegistry::Access entry = registry.access(path);
  if (!entry) return std::nullopt;
  return frameGeometry(*entry);
}

bool readFrame(OpenFileRegistry& registry, const char* path, std::uint32_t n, FrameLayout layout,
               std::span<std::uint8_t> buffer) {
  OpenFileRegistry::Access entry = registry.access(path);
  return entry && readFrame(*entry, n, layout, buffer);
}

}  // namespace corvane::qvf
