// Row kernels of the two colour conversions, one set per instruction set, all
// with the same signature. A kernel converts `pixels` pixels, which must be a
// multiple of its block (see kernel_table.h); it reads exactly pixels * 2
// (decode) or pixels * 4 (encode) source bytes and writes exactly the matching
// destination bytes. Pointers need no alignment.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane::pixeltools {

using RowKernel = void (*)(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);

void decodeRowScalar(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);
void encodeRowScalar(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);

void decodeRowSse2(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);
void encodeRowSse2(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);

void decodeRowAvx2(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);
void encodeRowAvx2(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);

void decodeRowAvx512(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);
void encodeRowAvx512(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);

}  // namespace corvane::pixeltools
