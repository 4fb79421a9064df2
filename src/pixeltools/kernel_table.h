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

// Every variant built into this library, slowest first. Initialised once,
// thread-safe.
std::span<const KernelSet> kernelSets();

// The fastest available variant, chosen once from the processor's flags.
const KernelSet& selectedKernelSet();

// Any-width drivers: the kernel runs over whole blocks and the remainder goes
// through a small scratch buffer, so nothing beyond pixelCount pixels is read
// or written. An odd last pixel is left alone. The set must be available.
void decodeWith(const KernelSet& set, std::uint8_t* dst, const std::uint8_t* src, std::size_t pixelCount);
void encodeWith(const KernelSet& set, std::uint8_t* dst, const std::uint8_t* src, std::size_t pixelCount);

}  // namespace corvane::pixeltools
