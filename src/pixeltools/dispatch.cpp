// Picks the fastest kernel once and runs it over any pixel count.
#include <cstring>
#include <vector>

#include "engine/pixeltools.h"
#include "pixeltools/kernel_table.h"

namespace corvane::pixeltools {
namespace {

constexpr std::size_t kMaxBlock = 64;

std::vector<KernelSet> buildKernelSets() {
  __builtin_cpu_init();
  std::vector<KernelSet> sets;
  sets.push_back({"scalar", decodeRowScalar, encodeRowScalar, 2, true});
  sets.push_back({"sse2", decodeRowSse2, encodeRowSse2, 16, __builtin_cpu_supports("sse2") != 0});
  sets.push_back({"avx2", decodeRowAvx2, encodeRowAvx2, 16, __builtin_cpu_supports("avx2") != 0});
  // Masked tails: any even count.
  sets.push_back({"avx512", decodeRowAvx512, encodeRowAvx512, 2,
                  __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512bw") != 0});
  return sets;
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
  static const std::vector<KernelSet> sets = buildKernelSets();
  return sets;
}

const KernelSet& selectedKernelSet() {
  static const KernelSet& chosen = []() -> const KernelSet& {
    const auto sets = kernelSets();
    const KernelSet* best = &sets.front();
    for (const KernelSet& set : sets) {
      if (set.available) best = &set;
    }
    return *best;
  }();
  return chosen;
}

void decodeWith(const KernelSet& set, std::uint8_t* dst, const std::uint8_t* src, std::size_t pixelCount) {
  runAnyWidth(set.decode, set.block, dst, src, pixelCount, 2, 4);
}

void encodeWith(const KernelSet& set, std::uint8_t* dst, const std::uint8_t* src, std::size_t pixelCount) {
  runAnyWidth(set.encode, set.block, dst, src, pixelCount, 4, 2);
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
