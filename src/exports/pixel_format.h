// The three pixel formats the host exchanges frames in, each named by a GUID
// text. The file input and output match the text exactly; the output device
// ignores letter case.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "qvf/frame_transfer.h"

namespace corvane::exports {

enum class PixelFormat : std::uint8_t {
  Ycbcr422,  // "4:2:2": field 0 rows, field 1 rows, then a 4-byte trailer
  Ycbcr444,  // "4:4:4": top-down, fields interleaved, Y Cb Cr A
  Rgba32,    // "RGBA-32": bottom-up, B G R A
};

struct PixelFormatId {
  PixelFormat format;
  std::string_view guid;
  std::string_view displayName;
  std::uint32_t flags;  // the layout flags word of a format descriptor
};

inline constexpr PixelFormatId kFormat422{PixelFormat::Ycbcr422, "349FC923-CAEA-11d1-818D-00A0C96E62CA",
                                          "4:2:2", 0x812};
inline constexpr PixelFormatId kFormat444{PixelFormat::Ycbcr444, "FD404F01-5A1C-11d2-818D-00A0C96E62CA",
                                          "4:4:4", 0x110};
inline constexpr PixelFormatId kFormatRgba32{PixelFormat::Rgba32, "575CE120-C7B3-11d0-AA07-000094753D70",
                                             "RGBA-32", 0x100};
// The writing settings report the 4:2:2 format with these flags instead.
inline constexpr std::uint32_t kWritingSettings422Flags = 0x802;

// Bytes of one frame of width x height in the host's layout.
constexpr std::uint32_t frameBytes(PixelFormat format, std::uint32_t width, std::uint32_t height) {
  return format == PixelFormat::Ycbcr422 ? width * height * 2 + 4 : width * height * 4;
}

// Case-sensitive match, in the order 4:2:2, RGBA-32, 4:4:4.
std::optional<PixelFormat> matchFormatExact(std::string_view guid);
// Case-insensitive match (ASCII), same order.
std::optional<PixelFormat> matchFormatIgnoringCase(std::string_view guid);

const PixelFormatId& formatId(PixelFormat format);

// The file engine's layout of a host format; a "4:2:2" frame is its two
// fields, the trailer word being the host's business.
constexpr qvf::FrameLayout frameLayoutOf(PixelFormat format) {
  switch (format) {
    case PixelFormat::Ycbcr422:
      return qvf::FrameLayout::Fields422;
    case PixelFormat::Ycbcr444:
      return qvf::FrameLayout::Ycbcr444;
    case PixelFormat::Rgba32:
      break;
  }
  return qvf::FrameLayout::Bgra32;
}

}  // namespace corvane::exports
