// The fixed-point conversions against the exact matrix: decode over every
// (Y, Cb, Cr), where every variant must also give the scalar bytes; encode
// over a grid of colours and random pairs.
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

// One row per Y: macropixels (Cb, Y, Cr, 255 - Y) for every Cb and Cr, so both
// luma positions see every value.
std::vector<std::uint8_t> allChromaForLuma(int y) {
  std::vector<std::uint8_t> row(65536 * 4);
  for (int cb = 0; cb < 256; ++cb) {
    for (int cr = 0; cr < 256; ++cr) {
      std::uint8_t* m = &row[(cb * 256 + cr) * 4];
      m[0] = static_cast<std::uint8_t>(cb);
      m[1] = static_cast<std::uint8_t>(y);
      m[2] = static_cast<std::uint8_t>(cr);
      m[3] = static_cast<std::uint8_t>(255 - y);
    }
  }
  return row;
}

TEST(Accuracy, DecodeOfEveryYCbCrIsWithinOneOfTheExactMatrixInEveryVariant) {
  const std::size_t pixels = 65536 * 2;
  std::vector<std::uint8_t> want(pixels * 4), got(pixels * 4);
  int worst = 0;
  for (int y = 0; y < 256; ++y) {
    const std::vector<std::uint8_t> src = allChromaForLuma(y);
    decodeWith(kernelSets().front(), want.data(), src.data(), pixels);
    for (std::size_t m = 0; m < 65536; ++m) {
      for (int half = 0; half < 2; ++half) {
        const std::uint8_t* px = &want[(2 * m + half) * 4];
        const auto exact = modelDecode(src[4 * m + 1 + 2 * half], src[4 * m], src[4 * m + 2]);
        for (int ch = 0; ch < 3; ++ch) {
          const int err = std::abs(px[ch] - exact[static_cast<std::size_t>(ch)]);
          worst = std::max(worst, err);
          ASSERT_LE(err, 1) << "Y " << int(src[4 * m + 1 + 2 * half]) << " Cb " << int(src[4 * m]) << " Cr "
                            << int(src[4 * m + 2]) << " channel " << ch;
        }
        ASSERT_EQ(255, px[3]);
      }
    }
    for (const KernelSet& set : kernelSets()) {
      if (!set.available || &set == &kernelSets().front()) continue;
      decodeWith(set, got.data(), src.data(), pixels);
      ASSERT_EQ(0, std::memcmp(want.data(), got.data(), got.size())) << set.name << " at Y " << y;
    }
  }
  EXPECT_EQ(1, worst) << "an exact match everywhere would mean the model is not being checked";
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
