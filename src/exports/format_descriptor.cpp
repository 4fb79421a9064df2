#include "exports/format_descriptor.h"

namespace corvane::exports {

void writeFormatDescriptor(HostRecord& record, std::size_t offset, const PixelFormatId& format,
                           std::uint32_t width, std::uint32_t height, const VideoMode& mode,
                           std::uint32_t flags) {
  using L = FormatDescriptorLayout;
  record.setU32(offset + L::kSizeWord, L::kSize);
  record.setU32(offset + L::kWidth, width);
  record.setU32(offset + L::kHeight, height);
  record.setText(offset + L::kPixelFormatId, L::kTextCapacity, format.guid);
  record.setU32(offset + L::kRateNumerator, mode.rateNumerator);
  record.setU32(offset + L::kRateDenominator, mode.rateDenominator);
  record.setU32(offset + L::kFrameBytes, frameBytes(format.format, width, height));
  record.setU32(offset + L::kFlags, flags);
  record.setText(offset + L::kDisplayName, L::kTextCapacity, format.displayName);
}

void writeFormatDescriptor(std::uint8_t* descriptor, const PixelFormatId& format, std::uint32_t width,
                           std::uint32_t height, const VideoMode& mode, std::uint32_t flags) {
  HostRecord record(descriptor, FormatDescriptorLayout::kSize);
  writeFormatDescriptor(record, 0, format, width, height, mode, flags);
}

}  // namespace corvane::exports
