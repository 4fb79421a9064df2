// The file input's logic: reading one frame of an open QVF file into a host
// buffer in one of the three host layouts. Plain values in and out; the
// export shims translate the host's records.
#pragma once

#include <cstdint>
#include <span>

#include "exports/pixel_format.h"
#include "qvf/registry.h"

namespace corvane::input {

// Width in pixels and height of the whole frame (both fields).
struct FrameSize {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
};

FrameSize frameSizeOf(const qvf::OpenFileEntry& entry);

// The least a destination buffer must hold: 2 x W x H + 4 for "4:2:2" (its
// trailer word included), 4 x W x H for the other two. 64-bit, since a
// damaged file may claim any geometry.
std::uint64_t requiredBufferBytes(exports::PixelFormat format, FrameSize size);

// Frame n of the entry (whose lock the caller holds) into buffer in format.
// False when the buffer is smaller than requiredBufferBytes for the entry's
// geometry, or any read fails. A "4:2:2" frame ends with the little-endian
// word W x H (the bytes of one field) at byte 2 x W x H. Any buffer alignment
// works; allocates nothing once the file is open.
bool readFrame(qvf::OpenFileEntry& entry, std::uint32_t n, exports::PixelFormat format,
               std::span<std::uint8_t> buffer);

}  // namespace corvane::input
