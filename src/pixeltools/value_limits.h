// Caps the values of a frame the host hands over for writing, in the host's
// own buffer, so that no sample reaches the file or the board as 255. The
// buffer is walked in 4-byte groups from its start; bytes after the last
// whole group are left alone. Thread-safe; allocates nothing.
#pragma once

#include <cstdint>
#include <span>

namespace corvane::pixeltools {

// "4:2:2" (the trailer included): every byte above 254 becomes 254.
void limitYcbcr422InPlace(std::span<std::uint8_t> frame);

// "4:4:4": bytes 0-2 (Y Cb Cr) of every pixel above 254 become 254; byte 3
// (alpha) keeps its value.
void limitYcbcr444InPlace(std::span<std::uint8_t> frame);

}  // namespace corvane::pixeltools
