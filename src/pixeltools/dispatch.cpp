// Picks the fastest kernels once and runs them over any pixel count.
#include <array>
#include <cstring>

#include "engine/pixeltools.h"
#include "pixeltools/kernel_table.h"
#include "pixeltools/value_limits.h"

namespace corvane::pixeltools {
namespace {

constexpr std::size_t kMaxBlock = 64;

struct Processor {
  bool sse2, avx2, avx512;
};

const Processor& processor() {
  static const Processor flags = [] {
    __builtin_cpu_init();
    return Processor{__builtin_cpu_supports("sse2") != 0, __builtin_cpu_supports("avx2") != 0,
                     __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512bw") != 0};
  }();
  return flags;
}

// Fixed arrays: making the tables, on the first frame a host converts,
// allocates nothing.
std::array<KernelSet, 4> buildKernelSets() {
  const Processor& cpu = processor();
  return {{
      {"scalar", decodeRowScalar, encodeRowScalar, 2, true},
      {"sse2", decodeRowSse2, encodeRowSse2, 16, cpu.sse2},
      {"avx2", decodeRowAvx2, encodeRowAvx2, 16, cpu.avx2},
      // Masked tails: any even count.
      {"avx512", decodeRowAvx512, encodeRowAvx512, 2, cpu.avx512},
  }};
}

std::array<LayoutKernelSet, 3> buildLayoutKernelSets() {
  const Processor& cpu = processor();
  return {{
      {"scalar", expand444RowScalar, pack444RowScalar, limit422Scalar, limit444Scalar, 2, true},
      {"sse2", expand444RowSse2, pack444RowSse2, limit422Sse2, limit444Sse2, 8, cpu.sse2},
      {"avx2", expand444RowAvx2, pack444RowAvx2, limit422Avx2, limit444Avx2, 16, cpu.avx2},
  }};
}

template <class Set>
const Set& fastestAvailable(std::span<const Set> sets) {
  const Set* best = &sets.front();
  for (const Set& set : sets) {
    if (set.available) best = &set;
  }
  return *best;
}

void runAnyWidth(RowKernel kernel, std::size_t block, std::uint8_t* dst, const std::uint8_t* src,
                 std::size_t pixelCount, std::size_t srcBytes, std::size_t dstBytes) {
  const std::size_t even = pixelCount & ~std::size_t{1};
  const std::size_t whole = even - even % block;
  if (whole != 0) kernel(dst, src, whole);
  const std::size_t rest = even - whole;
  if (rest == 0) return;
  alignas(64) std::uint8_t in[kMaxBlock * 4] = {};
  alignas(64) std::uint8_t out[kMaxBlock * 4];
  std::memcpy(in, src + whole * srcBytes, rest * srcBytes);
  kernel(out, in, block);
  std::memcpy(dst + whole * dstBytes, out, rest * dstBytes);
}

}  // namespace

std::span<const KernelSet> kernelSets() {
  static const std::array<KernelSet, 4> sets = buildKernelSets();
  return sets;
}

std::span<const LayoutKernelSet> layoutKernelSets() {
  static const std::array<LayoutKernelSet, 3> sets = buildLayoutKernelSets();
  return sets;
}

const KernelSet& selectedKernelSet() {
  static const KernelSet& chosen = fastestAvailable(kernelSets());
  return chosen;
}

const LayoutKernelSet& selectedLayoutKernelSet() {
  static const LayoutKernelSet& chosen = fastestAvailable(layoutKernelSets());
  return chosen;
}

void decodeWith(const KernelSet& set, std::uint8_t* dst, const std::uint8_t* src, std::size_t pixelCount) {
  runAnyWidth(set.decode, set.block, dst, src, pixelCount, 2, 4);
}

void encodeWith(const KernelSet& set, std::uint8_t* dst, const std::uint8_t* src, std::size_t pixelCount) {
  runAnyWidth(set.encode, set.block, dst, src, pixelCount, 4, 2);
}

void expand444With(const LayoutKernelSet& set, std::uint8_t* dst, const std::uint8_t* src,
                   std::size_t pixelCount) {
  runAnyWidth(set.expand444, set.block, dst, src, pixelCount, 2, 4);
}

void pack444With(const LayoutKernelSet& set, std::uint8_t* dst, const std::uint8_t* src,
                 std::size_t pixelCount) {
  runAnyWidth(set.pack444, set.block, dst, src, pixelCount, 4, 2);
}

void limitYcbcr422InPlace(std::span<std::uint8_t> frame) {
  static const LayoutKernelSet& set = selectedLayoutKernelSet();
  set.limit422(frame);
}

void limitYcbcr444InPlace(std::span<std::uint8_t> frame) {
  static const LayoutKernelSet& set = selectedLayoutKernelSet();
  set.limit444(frame);
}

}  // namespace corvane::pixeltools

namespace corvane {

void decode_ycbcr8_bgra(std::uint8_t* destination, const std::uint8_t* source, std::uint32_t pixelCount) {
  static const pixeltools::KernelSet& set = pixeltools::selectedKernelSet();
  pixeltools::decodeWith(set, destination, source, pixelCount);
}

void encode_bgra_ycbcr8(std::uint8_t* destination, const std::uint8_t* source, std::uint32_t pixelCount) {
  static const pixeltools::KernelSet& set = pixeltools::selectedKernelSet();
  pixeltools::encodeWith(set, destination, source, pixelCount);
}

}  // namespace corvane
