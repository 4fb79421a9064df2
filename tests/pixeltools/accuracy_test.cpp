// The fixed-point conversions against the exact matrix. Decode runs over a
// sample in which every Y meets every Cb and every Cr value, and every variant
// must also give the scalar bytes; encode over a grid of colours and random
// pairs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "color_model.h"
#include "pixeltools/kernel_table.h"

namespace corvane::pixeltools {
namespace {

using testing::modelDecode;
using testing::modelEncode;

TEST(Accuracy, DecodeIsWithinOneOfTheExactMatrixInEveryVariantAndExactAtBlackAndWhite) {
  // Macropixels (Cb, Y, Cr, 255 - Y): for each Y, every Cb once, with Cr an
  // odd multiple of Cb shifted by Y, so that Cr too takes every value.
  std::vector<std::uint8_t> src;
  for (int y = 0; y < 256; ++y) {
    for (int cb = 0; cb < 256; ++cb) {
      for (int v : {cb, y, (cb * 37 + y) & 255, 255 - y}) src.push_back(static_cast<std::uint8_t>(v));
    }
  }
  src.insert(src.end(), {128, 16, 128, 235});  // black and white, which must be exact
  const std::size_t pixels = src.size() / 2;
  std::vector<std::uint8_t> want(pixels * 4), got(pixels * 4);
  decodeWith(kernelSets().front(), want.data(), src.data(), pixels);
  int worst = 0;
  for (std::size_t p = 0; p < pixels; ++p) {
    const std::size_t m = p / 2 * 4;
    const auto exact = modelDecode(src[m + 1 + 2 * (p % 2)], src[m], src[m + 2]);
    for (std::size_t ch = 0; ch < 3; ++ch) {
      const int err = std::abs(want[p * 4 + ch] - exact[ch]);
      worst = std::max(worst, err);
      ASSERT_LE(err, 1) << "Y " << int(src[m + 1 + 2 * (p % 2)]) << " Cb " << int(src[m]) << " Cr "
                        << int(src[m + 2]) << " channel " << ch;
    }
    ASSERT_EQ(255, want[p * 4 + 3]);
  }
  EXPECT_EQ(1, worst) << "an exact match everywhere would mean the model is not being checked";
  EXPECT_EQ((std::vector<std::uint8_t>{0, 0, 0, 255, 255, 255, 255, 255}),
            std::vector<std::uint8_t>(want.end() - 8, want.end()));
  for (const KernelSet& set : kernelSets()) {
    if (!set.available || &set == &kernelSets().front()) continue;
    decodeWith(set, got.data(), src.data(), pixels);
    EXPECT_EQ(0, std::memcmp(want.data(), got.data(), got.size())) << set.name;
  }
}

// Pairs of pixels: every colour of a 52-step grid twice (flat pairs), the grid
// colour beside its inverse, and random pairs with random alpha.
std::vector<std::uint8_t> encodeSamples() {
  std::vector<std::uint8_t> px;
  auto push = [&px](int b, int g, int r, int a) {
    for (int v : {b, g, r, a}) px.push_back(static_cast<std::uint8_t>(v));
  };
  for (int r = 0; r < 256; r += 5) {
    for (int g = 0; g < 256; g += 5) {
      for (int b = 0; b < 256; b += 5) {
        push(b, g, r, 255);
        push(b, g, r, 0);
        push(b, g, r, 17);
        push(255 - b, 255 - g, 255 - r, 255);
      }
    }
  }
  std::mt19937 rng(99);
  for (int i = 0; i < 400000; ++i) push(rng() & 255, rng() & 255, rng() & 255, rng() & 255);
  return px;
}

TEST(Accuracy, EncodeIsWithinOneOfTheExactMatrixAndStaysInStudioRange) {
  const std::vector<std::uint8_t> src = encodeSamples();
  const std::size_t pixels = src.size() / 4;
  std::vector<std::uint8_t> want(pixels * 2);
  encodeWith(kernelSets().front(), want.data(), src.data(), pixels);
  int worst = 0;
  for (std::size_t pair = 0; pair < pixels / 2; ++pair) {
    const auto exact = modelEncode(&src[pair * 8]);
    for (int k = 0; k < 4; ++k) {
      const int v = want[pair * 4 + static_cast<std::size_t>(k)];
      const int err = std::abs(v - exact[static_cast<std::size_t>(k)]);
      worst = std::max(worst, err);
      ASSERT_LE(err, 1) << "pair " << pair << " byte " << k;
      const bool luma = k % 2 == 1;
      ASSERT_GE(v, 16);
      ASSERT_LE(v, luma ? 235 : 240);
    }
  }
  EXPECT_EQ(1, worst) << "an exact match everywhere would mean the model is not being checked";
}

}  // namespace
}  // namespace corvane::pixeltools
