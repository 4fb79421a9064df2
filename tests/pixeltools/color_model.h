// The exact (double-precision) BT.601 studio-range matrix the kernels
// approximate, rounded to the nearest integer.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

namespace corvane::pixeltools::testing {

inline int roundClamp(double v) { return std::clamp(static_cast<int>(std::lround(v)), 0, 255); }

// Returns B, G, R.
inline std::array<int, 3> modelDecode(int y, int cb, int cr) {
  const double l = 1.164383 * (y - 16);
  return {roundClamp(l + 2.017232 * (cb - 128)),
          roundClamp(l - 0.391762 * (cb - 128) - 0.812968 * (cr - 128)),
          roundClamp(l + 1.596027 * (cr - 128))};
}

inline double modelLuma(int b, int g, int r) { return 16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255; }

// Two B G R A pixels to Cb Y0 Cr Y1; chroma from the pair's average R, G, B.
inline std::array<int, 4> modelEncode(const std::uint8_t* p) {
  const double b = (p[0] + p[4]) / 2.0, g = (p[1] + p[5]) / 2.0, r = (p[2] + p[6]) / 2.0;
  return {
      roundClamp(128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255), roundClamp(modelLuma(p[0], p[1], p[2])),
      roundClamp(128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255), roundClamp(modelLuma(p[4], p[5], p[6]))};
}

}  // namespace corvane::pixeltools::testing
