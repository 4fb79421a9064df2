#include "exports/pixel_format.h"

#include <array>

namespace corvane::exports {
namespace {

constexpr std::array<const PixelFormatId*, 3> kMatchOrder{&kFormat422, &kFormatRgba32, &kFormat444};

constexpr char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

}  // namespace

std::optional<PixelFormat> matchFormatExact(std::string_view guid) {
  for (const PixelFormatId* id : kMatchOrder)
    if (guid == id->guid) return id->format;
  return std::nullopt;
}

std::optional<PixelFormat> matchFormatIgnoringCase(std::string_view guid) {
  for (const PixelFormatId* id : kMatchOrder)
    if (equalIgnoringCase(guid, id->guid)) return id->format;
  return std::nullopt;
}

const PixelFormatId& formatId(PixelFormat format) {
  switch (format) {
    case PixelFormat::Ycbcr422:
      return kFormat422;
    case PixelFormat::Ycbcr444:
      return kFormat444;
    case PixelFormat::Rgba32:
      break;
  }
  return kFormatRgba32;
}

}  // namespace corvane::exports
