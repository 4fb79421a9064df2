// Every kernel variant, and the dispatched entry points, must give exactly
// the scalar bytes at any width and alignment, and must never touch a byte
// past the last pixel.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/pixeltools.h"
#include "guarded_buffer.h"
#include "pixeltools/kernel_table.h"

namespace corvane::pixeltools {
namespace {

using testing::GuardedBuffer;

constexpr std::uint8_t kSentinel = 0xA5;

std::vector<std::size_t> widths() {
  std::vector<std::size_t> w;
  for (std::size_t n = 1; n <= 67; ++n) w.push_back(n);
  for (std::size_t n : {127u, 128u, 129u, 720u, 721u, 1440u}) w.push_back(n);
  return w;
}

enum class Direction { Decode, Encode };

struct Shape {
  std::size_t srcBytes;
  std::size_t dstBytes;
};

Shape shapeOf(Direction d) { return d == Direction::Decode ? Shape{2, 4} : Shape{4, 2}; }

using Runner = void (*)(const KernelSet* set, std::uint8_t* dst, const std::uint8_t* src, std::size_t n,
                        Direction d);

void runSet(const KernelSet* set, std::uint8_t* dst, const std::uint8_t* src, std::size_t n, Direction d) {
  if (d == Direction::Decode) {
    decodeWith(*set, dst, src, n);
  } else {
    encodeWith(*set, dst, src, n);
  }
}

void runPublic(const KernelSet*, std::uint8_t* dst, const std::uint8_t* src, std::size_t n, Direction d) {
  if (d == Direction::Decode) {
    decode_ycbcr8_bgra(dst, src, static_cast<std::uint32_t>(n));
  } else {
    encode_bgra_ycbcr8(dst, src, static_cast<std::uint32_t>(n));
  }
}

// Runs the scalar reference and the candidate on the same random pixels, with
// source and destination both ending `slack` bytes before a guard page, and
// compares the whole destination including the untouched odd pixel.
void expectSameAsScalar(const std::string& name, Runner run, const KernelSet* set, Direction d, std::size_t n,
                        std::size_t slack, std::mt19937& rng) {
  const Shape s = shapeOf(d);
  GuardedBuffer src(n * s.srcBytes, slack);
  GuardedBuffer want(n * s.dstBytes + slack);
  GuardedBuffer got(n * s.dstBytes, slack);
  for (std::size_t i = 0; i < n * s.srcBytes; ++i) src.data()[i] = static_cast<std::uint8_t>(rng());
  std::memset(want.data(), kSentinel, n * s.dstBytes + slack);
  std::memset(got.data(), kSentinel, n * s.dstBytes + slack);

  runSet(&kernelSets().front(), want.data(), src.data(), n, d);
  run(set, got.data(), src.data(), n, d);

  ASSERT_EQ(0, std::memcmp(want.data(), got.data(), n * s.dstBytes + slack))
      << name << (d == Direction::Decode ? " decode" : " encode") << " width " << n << " slack " << slack
      << " source address mod 64 = " << reinterpret_cast<std::uintptr_t>(src.data()) % 64;
  if (n % 2 == 1) {
    for (std::size_t i = (n - 1) * s.dstBytes; i < n * s.dstBytes + slack; ++i) {
      ASSERT_EQ(kSentinel, got.data()[i]) << name << " wrote past the last whole macropixel, width " << n;
    }
  }
}

TEST(VariantsMatchScalar, EveryAvailableVariantAndTheDispatchAtAllWidthsAndAlignments) {
  std::mt19937 rng(12345);
  int checked = 0;
  for (const KernelSet& set : kernelSets()) {
    if (!set.available) continue;
    for (Direction d : {Direction::Decode, Direction::Encode}) {
      for (std::size_t n : widths()) {
        for (std::size_t slack : {0u, 1u, 2u, 3u, 5u}) {
          expectSameAsScalar(set.name, runSet, &set, d, n, slack, rng);
          if (&set == &kernelSets().back())
            expectSameAsScalar("dispatched", runPublic, nullptr, d, n, slack, rng);
        }
      }
    }
    ++checked;
  }
  EXPECT_GE(checked, 2) << "only the scalar kernel could be checked on this processor";
}

TEST(VariantsMatchScalar, DecodeAlwaysWritesOpaqueAlpha) {
  std::vector<std::uint8_t> src(2 * 720);
  std::mt19937 rng(7);
  for (auto& b : src) b = static_cast<std::uint8_t>(rng());
  for (const KernelSet& set : kernelSets()) {
    if (!set.available) continue;
    std::vector<std::uint8_t> dst(4 * 720, 0);
    decodeWith(set, dst.data(), src.data(), 720);
    for (std::size_t i = 0; i < 720; ++i) ASSERT_EQ(255, dst[4 * i + 3]) << set.name << " pixel " << i;
  }
}

TEST(VariantsMatchScalar, ZeroPixelsTouchNothing) {
  GuardedBuffer src(0, 0);
  GuardedBuffer dst(0, 4);
  std::memset(dst.data(), kSentinel, 4);
  for (const KernelSet& set : kernelSets()) {
    if (!set.available) continue;
    decodeWith(set, dst.data(), src.data(), 0);
    encodeWith(set, dst.data(), src.data(), 0);
  }
  decode_ycbcr8_bgra(dst.data(), src.data(), 0);
  encode_bgra_ycbcr8(dst.data(), src.data(), 0);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(kSentinel, dst.data()[i]);
}

}  // namespace
}  // namespace corvane::pixeltools
