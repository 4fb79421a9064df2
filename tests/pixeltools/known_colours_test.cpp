// Reference colours through the dispatched entry points: the levels a video
// engineer checks by eye.
#include <gtest/gtest.h>

#include <array>

#include "engine/pixeltools.h"

namespace corvane {
namespace {

struct Bar {
  const char* name;
  std::array<std::uint8_t, 3> bgr;
  std::array<int, 3> ycbcr;  // published 75% bar levels
};

// 75% colour bars: RGB at 191 (75% of 255) or 0.
constexpr std::array<Bar, 8> kBars = {{
    {"white", {191, 191, 191}, {180, 128, 128}},
    {"yellow", {0, 191, 191}, {162, 44, 142}},
    {"cyan", {191, 191, 0}, {131, 156, 44}},
    {"green", {0, 191, 0}, {112, 72, 58}},
    {"magenta", {191, 0, 191}, {84, 184, 198}},
    {"red", {0, 0, 191}, {65, 100, 212}},
    {"blue", {191, 0, 0}, {35, 212, 114}},
    {"black", {0, 0, 0}, {16, 128, 128}},
}};

std::array<std::uint8_t, 8> decodePair(std::uint8_t cb, std::uint8_t y0, std::uint8_t cr, std::uint8_t y1) {
  const std::array<std::uint8_t, 4> src = {cb, y0, cr, y1};
  std::array<std::uint8_t, 8> dst{};
  decode_ycbcr8_bgra(dst.data(), src.data(), 2);
  return dst;
}

TEST(KnownColours, BlackAndWhiteLevelsDecodeExactlyToTheEndsOfTheRange) {
  const auto black = decodePair(128, 16, 128, 16);
  const auto white = decodePair(128, 235, 128, 235);
  for (int i = 0; i < 8; ++i) {
    EXPECT_EQ(i % 4 == 3 ? 255 : 0, black[i]) << i;
    EXPECT_EQ(255, white[i]) << i;
  }
}

TEST(KnownColours, SeventyFivePercentBarsEncodeToTheirPublishedLevels) {
  for (const Bar& bar : kBars) {
    std::array<std::uint8_t, 8> bgra{};
    for (int p = 0; p < 2; ++p) {
      for (int ch = 0; ch < 3; ++ch) bgra[4 * p + ch] = bar.bgr[ch];
      bgra[4 * p + 3] = 0;  // alpha is ignored
    }
    std::array<std::uint8_t, 4> yuv{};
    encode_bgra_ycbcr8(yuv.data(), bgra.data(), 2);
    EXPECT_NEAR(bar.ycbcr[0], yuv[1], 1) << bar.name << " Y0";
    EXPECT_NEAR(bar.ycbcr[0], yuv[3], 1) << bar.name << " Y1";
    EXPECT_NEAR(bar.ycbcr[1], yuv[0], 1) << bar.name << " Cb";
    EXPECT_NEAR(bar.ycbcr[2], yuv[2], 1) << bar.name << " Cr";
  }
}

}  // namespace
}  // namespace corvane
