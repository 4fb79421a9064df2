// Whole frames between an open QVF file and a caller's buffer: the one place
// where frame data meets the streaming file. Every function works on an entry
// whose lock the caller holds (OpenFileRegistry::Access), so a caller that
// checked the entry's geometry moves its frame under the same lock.
//
// Buffers of any alignment work. Where the buffer is sector-aligned and each
// field fills its chunk, both chunks move straight between the file and the
// buffer in one transfer; otherwise they go through the entry's own chunk
// buffers, still as one transfer, with one copy or conversion per field.
// Nothing is allocated per frame.
#pragma once

#include <cstdint>
#include <span>

#include "qvf/registry.h"

namespace corvane::qvf {

enum class FrameLayout : std::uint8_t {
  Fields422,  // field 0's rows, then field 1's, width x 2 bytes a row
  Ycbcr444,   // top-down, the fields' rows interleaved, Y Cb Cr A
  Bgra32,     // bottom-up, B G R A
};

// Bytes of one frame of the entry in layout. 64-bit: a damaged file may
// claim any geometry.
std::uint64_t frameBytes(const OpenFileEntry& entry, FrameLayout layout);

// Frame n into destination. False, with nothing written, when destination
// holds less than frameBytes; false when a read fails, and then destination
// may hold part of the frame (for Fields422, each field that could be read:
// field 1 is read even when field 0 fails).
bool readFrame(OpenFileEntry& entry, std::uint32_t n, FrameLayout layout,
               std::span<std::uint8_t> destination);

// Writes source as the entry's next frame. False, with the frame counter
// left alone, when source holds less than frameBytes; otherwise the counter
// advances whatever happens, so a failed frame leaves its block and the next
// frame goes to the next block. Field 1 is never written when field 0 fails.
//
// A frame that goes through the chunk buffers (converted, or copied from an
// unaligned buffer) with fields large enough is written behind: converted in
// the call, its write started on the helper thread, and the call returns
// while the disk works; source may be reused at once. Its failure is reported
// by the entry's next writeFrame or appendFrameRaw, or, when none comes, by
// the close (OpenFileRegistry::takeClosedWriteFailure). So false means that
// this frame or the previous one failed; every frame is still written.
bool writeFrame(OpenFileEntry& entry, FrameLayout layout, std::span<const std::uint8_t> source);

// Both fields as the board captured them (width x lines x 4 bytes), at frame
// block n of the entry, with one write. Sector-aligned. False also when a
// frame written behind before it failed.
bool appendFrameRaw(OpenFileEntry& entry, std::span<const std::uint8_t> frame);

}  // namespace corvane::qvf
