// Row kernels, one set per instruction set, all of a kind with the same
// signature. Pointers need no alignment.
//
// Colour and 4:4:4 row kernels convert `pixels` pixels, which must be a
// multiple of their set's block (see kernel_table.h). Decode and expand read
// exactly pixels * 2 source bytes and write pixels * 4; encode and pack read
// pixels * 4 and write pixels * 2.
//
// Limit kernels cap bytes in place and take any multiple of 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace corvane::pixeltools {

using RowKernel = void (*)(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);
using LimitKernel = void (*)(std::span<std::uint8_t> groups);

void decodeRowScalar(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);
void encodeRowScalar(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);

void decodeRowSse2(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);
void encodeRowSse2(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);

void decodeRowAvx2(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);
void encodeRowAvx2(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);

void decodeRowAvx512(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);
void encodeRowAvx512(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);

// Expand: macropixels (Cb Y0 Cr Y1) to pixels (Y0 Cb Cr 255) (Y1 Cb Cr 255).
// Pack: pixel pairs (Ya Cba Cra Aa) (Yb Cbb Crb Ab) to (Cba Ya Cra Yb).
void expand444RowScalar(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);
void pack444RowScalar(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);
void expand444RowSse2(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);
void pack444RowSse2(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);
void expand444RowAvx2(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);
void pack444RowAvx2(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels);

// Every byte above 254 becomes 254 (4:2:2), or bytes 0-2 of every 4-byte
// group do while byte 3 keeps its value (4:4:4).
void limit422Scalar(std::span<std::uint8_t> groups);
void limit444Scalar(std::span<std::uint8_t> groups);
void limit422Sse2(std::span<std::uint8_t> groups);
void limit444Sse2(std::span<std::uint8_t> groups);
void limit422Avx2(std::span<std::uint8_t> groups);
void limit444Avx2(std::span<std::uint8_t> groups);

}  // namespace corvane::pixeltools
