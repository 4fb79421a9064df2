#include "exports/format_tables.h"

namespace corvane::exports {

FormatTables::FormatTables(const VideoMode& mode)
    : mode_(mode), accepted_(makeTable(mode.frameWidth, mode.frameHeight)) {}

std::unique_ptr<FormatTables::Table> FormatTables::makeTable(std::uint32_t width,
                                                             std::uint32_t height) const {
  static constexpr const PixelFormatId* kOrder[kFormats] = {&kFormat422, &kFormat444, &kFormatRgba32};
  auto table = std::make_unique<Table>();
  for (std::size_t i = 0; i < kFormats; ++i)
    writeFormatDescriptor((*table)[i].data(), *kOrder[i], width, height, mode_, kOrder[i]->flags);
  return table;
}

const std::uint8_t* FormatTables::offered(std::uint32_t width, std::uint32_t height) {
  if (width == mode_.frameWidth && height == mode_.frameHeight) return accepted();
  std::lock_guard<std::mutex> guard(lock_);
  const auto key = std::make_pair(width, height);
  if (auto found = offered_.find(key); found != offered_.end()) return found->second->front().data();
  if (offered_.size() >= kMaxGeometries) return nullptr;
  return offered_.emplace(key, makeTable(width, height)).first->second->front().data();
}

}  // namespace corvane::exports
