// Conversions between the two 4:2:2 field chunks of a frame and the host's
// whole-frame layouts. Field 0 carries display rows 0, 2, 4, ...; field 1
// rows 1, 3, 5, .... A field is lines rows of width x 2 bytes; a frame buffer
// is 2 x lines rows of width x 4 bytes. Callers make sure the buffers hold
// that much. With an odd width the last pixel of every row is neither read
// nor written.
#pragma once

#include <cstdint>

namespace corvane::pixeltools {

struct FieldGeometry {
  std::uint32_t width = 0;  // pixels per row
  std::uint32_t lines = 0;  // rows per field
};

enum class FrameLayout : std::uint8_t {
  Ycbcr444,  // top-down Y Cb Cr A
  Bgra32,    // bottom-up B G R A
};

// Rows [firstRow, endRow) of one field (parity 0 for field 0, 1 for field 1)
// into their places in a whole frame of the given layout. Rows of different
// fields or ranges touch disjoint bytes, so they may run on different threads.
void fieldRowsToFrame(FrameLayout layout, const std::uint8_t* field, std::uint32_t parity,
                      std::uint8_t* destination, FieldGeometry geometry, std::uint32_t firstRow,
                      std::uint32_t endRow);

// To top-down Y Cb Cr A (alpha 255), rows interleaved from the two fields.
void fieldsTo444(const std::uint8_t* field0, const std::uint8_t* field1, std::uint8_t* destination,
                 FieldGeometry geometry);
// From top-down Y Cb Cr A: each pixel pair keeps its first pixel's chroma.
void fieldsFrom444(const std::uint8_t* source, std::uint8_t* field0, std::uint8_t* field1,
                   FieldGeometry geometry);
// To bottom-up B G R A, one row per decode call.
void fieldsToBgra(const std::uint8_t* field0, const std::uint8_t* field1, std::uint8_t* destination,
                  FieldGeometry geometry);
// From bottom-up B G R A, one row per encode call, all of field 0 first.
void fieldsFromBgra(const std::uint8_t* source, std::uint8_t* field0, std::uint8_t* field1,
                    FieldGeometry geometry);

}  // namespace corvane::pixeltools
