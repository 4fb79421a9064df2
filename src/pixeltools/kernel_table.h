// The kernel variants by name, for the dispatcher, the tests and the
// benchmarks: each can be run explicitly on any pixel count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "pixeltools/kernels.h"

namespace corvane::pixeltools {

struct KernelSet {
  const char* name;
  RowKernel decode;
  RowKernel encode;
  std::size_t block;  // pixels per kernel step; kernels take multiples of it
  bool available;     // the processor has the instructions
};

// The byte-moving kernels: 4:4:4 rows and value limits.
struct LayoutKernelSet {
  const char* name;
  RowKernel expand444;
  RowKernel pack444;
  LimitKernel limit422;
  LimitKernel limit444;
  std::size_t block;  // pixels per row-kernel step
  bool available;
};

// Every variant built into this library, slowest first. Initialised once,
// thread-safe.
std::span<const KernelSet> kernelSets();
std::span<const LayoutKernelSet> layoutKernelSets();

// The fastest available variant, chosen once from the processor's flags.
const KernelSet& selectedKernelSet();
const LayoutKernelSet& selectedLayoutKernelSet();

// Any-width drivers: the kernel runs over whole blocks and the remainder goes
// through a small scratch buffer, so nothing beyond pixelCount pixels is read
// or written. An odd last pixel is left alone. The set must be available.
void decodeWith(const KernelSet& set, std::uint8_t* dst, const std::uint8_t* src, std::size_t pixelCount);
void encodeWith(const KernelSet& set, std::uint8_t* dst, const std::uint8_t* src, std::size_t pixelCount);
void expand444With(const LayoutKernelSet& set, std::uint8_t* dst, const std::uint8_t* src,
                   std::size_t pixelCount);
void pack444With(const LayoutKernelSet& set, std::uint8_t* dst, const std::uint8_t* src,
                 std::size_t pixelCount);

}  // namespace corvane::pixeltools
