// Every kernel variant, and the dispatched entry points, must give exactly
// the scalar bytes at any width and alignment, and must never touch a byte
// past the last pixel or the last whole 4-byte group.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "engine/pixeltools.h"
#include "guarded_buffer.h"
#include "pixeltools/kernel_table.h"
#include "pixeltools/value_limits.h"

namespace corvane::pixeltools {
namespace {

using testing::GuardedBuffer;
using Convert = std::function<void(std::uint8_t* dst, const std::uint8_t* src, std::size_t pixels)>;
using Limit = std::function<void(std::span<std::uint8_t>)>;

template <class Set>
Convert by(void (*driver)(const Set&, std::uint8_t*, const std::uint8_t*, std::size_t), const Set& set) {
  return
      [driver, &set](std::uint8_t* dst, const std::uint8_t* src, std::size_t n) { driver(set, dst, src, n); };
}

struct RowCase {
  std::string name;
  std::size_t srcBytes, dstBytes;  // per pixel
  Convert reference, candidate;
};

std::vector<RowCase> rowCases() {
  const KernelSet& scalar = kernelSets().front();
  const LayoutKernelSet& layout = layoutKernelSets().front();
  std::vector<RowCase> cases = {
      {"decode dispatched", 2, 4, by(decodeWith, scalar),
       [](auto* d, auto* src, auto n) { decode_ycbcr8_bgra(d, src, static_cast<std::uint32_t>(n)); }},
      {"encode dispatched", 4, 2, by(encodeWith, scalar),
       [](auto* d, auto* src, auto n) { encode_bgra_ycbcr8(d, src, static_cast<std::uint32_t>(n)); }}};
  for (const KernelSet& set : kernelSets()) {
    if (!set.available) continue;
    cases.push_back({std::string("decode ") + set.name, 2, 4, by(decodeWith, scalar), by(decodeWith, set)});
    cases.push_back({std::string("encode ") + set.name, 4, 2, by(encodeWith, scalar), by(encodeWith, set)});
  }
  for (const LayoutKernelSet& set : layoutKernelSets()) {
    if (!set.available) continue;
    cases.push_back(
        {std::string("expand444 ") + set.name, 2, 4, by(expand444With, layout), by(expand444With, set)});
    cases.push_back(
        {std::string("pack444 ") + set.name, 4, 2, by(pack444With, layout), by(pack444With, set)});
  }
  return cases;
}

std::vector<std::size_t> widths() {
  std::vector<std::size_t> w;
  for (std::size_t n = 0; n <= 67; ++n) w.push_back(n);
  for (std::size_t n : {127u, 128u, 129u, 720u, 721u, 1440u}) w.push_back(n);
  return w;
}

constexpr std::size_t kSlacks[] = {0, 1, 2, 3, 5};

// Source and destination both end `slack` bytes before a guard page; the
// whole destination, untouched odd pixel and slack included, must match.
TEST(VariantsMatchScalar, RowKernelsAtAllWidthsAndAlignments) {
  std::mt19937 rng(12345);
  for (const RowCase& c : rowCases()) {
    for (std::size_t n : widths()) {
      for (std::size_t slack : kSlacks) {
        GuardedBuffer src(n * c.srcBytes, slack), want(n * c.dstBytes, slack), got(n * c.dstBytes, slack);
        for (std::size_t i = 0; i < n * c.srcBytes; ++i) src.data()[i] = static_cast<std::uint8_t>(rng());
        std::memset(want.data(), 0xA5, n * c.dstBytes + slack);
        std::memset(got.data(), 0xA5, n * c.dstBytes + slack);
        c.reference(want.data(), src.data(), n);
        c.candidate(got.data(), src.data(), n);
        ASSERT_EQ(0, std::memcmp(want.data(), got.data(), n * c.dstBytes + slack))
            << c.name << " width " << n << " slack " << slack;
      }
    }
  }
}

// Lengths that are not a multiple of 4 leave their last bytes alone, as the
// scalar walk of whole groups does; the slack holds 255, which any write past
// the span would lower.
TEST(VariantsMatchScalar, LimitKernelsAtAllLengthsAndAlignments) {
  const LayoutKernelSet& scalar = layoutKernelSets().front();
  struct LimitCase {
    std::string name;
    Limit reference, candidate;
  };
  std::vector<LimitCase> cases = {{"limit422 dispatched", scalar.limit422, limitYcbcr422InPlace},
                                  {"limit444 dispatched", scalar.limit444, limitYcbcr444InPlace}};
  for (const LayoutKernelSet& set : layoutKernelSets()) {
    if (!set.available) continue;
    cases.push_back({std::string("limit422 ") + set.name, scalar.limit422, set.limit422});
    cases.push_back({std::string("limit444 ") + set.name, scalar.limit444, set.limit444});
  }
  std::vector<std::size_t> lengths = widths();
  for (std::size_t n : {691204u, 1382403u}) lengths.push_back(n);
  std::mt19937 rng(777);
  for (std::size_t n : lengths) {
    for (std::size_t slack : kSlacks) {
      if (n > 4096 && slack != 0) continue;  // whole frames: the lanes, not the ends
      // Mostly values at and around the cap, so every lane sees 254 and 255.
      std::vector<std::uint8_t> input(n + slack, 255);
      for (std::size_t i = 0; i < n; ++i) {
        const unsigned r = rng();
        input[i] = static_cast<std::uint8_t>(r % 4 != 0 ? 252 + (r >> 8) % 4 : r >> 8);
      }
      GuardedBuffer want(n, slack), got(n, slack);
      for (const LimitCase& c : cases) {
        std::copy(input.begin(), input.end(), want.data());
        std::copy(input.begin(), input.end(), got.data());
        c.reference({want.data(), n});
        c.candidate({got.data(), n});
        ASSERT_EQ(0, std::memcmp(want.data(), got.data(), n + slack))
            << c.name << " length " << n << " slack " << slack;
      }
    }
  }
}

}  // namespace
}  // namespace corvane::pixeltools
