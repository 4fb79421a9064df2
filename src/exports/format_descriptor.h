// The 236-byte format descriptor through which every service describes a
// pixel format to the host.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/video_mode.h"
#include "exports/host_record.h"
#include "exports/pixel_format.h"

namespace corvane::exports {

struct FormatDescriptorLayout {
  static constexpr std::size_t kSizeWord = 0;
  static constexpr std::size_t kWidth = 4;
  static constexpr std::size_t kHeight = 8;
  static constexpr std::size_t kPixelFormatId = 12;  // char[100]
  static constexpr std::size_t kRateNumerator = 112;
  static constexpr std::size_t kRateDenominator = 116;
  static constexpr std::size_t kFrameBytes = 120;
  static constexpr std::size_t kFlags = 124;
  static constexpr std::size_t kUnused = 128;       // 2 x u32, never written
  static constexpr std::size_t kDisplayName = 136;  // char[100]
  static constexpr std::size_t kTextCapacity = 100;
  static constexpr std::size_t kSize = 236;
};
static_assert(FormatDescriptorLayout::kDisplayName + FormatDescriptorLayout::kTextCapacity ==
              FormatDescriptorLayout::kSize);

// Fills the descriptor at offset of record: size 236, width, height, the
// format's GUID text and display name, the load-time rate, the frame bytes
// and flags. The two unused words are left alone.
void writeFormatDescriptor(HostRecord& record, std::size_t offset, const PixelFormatId& format,
                           std::uint32_t width, std::uint32_t height, const VideoMode& mode,
                           std::uint32_t flags);

// Same, in a plug-in-owned static table (no size limit beyond 236 bytes).
void writeFormatDescriptor(std::uint8_t* descriptor, const PixelFormatId& format, std::uint32_t width,
                           std::uint32_t height, const VideoMode& mode, std::uint32_t flags);

}  // namespace corvane::exports
