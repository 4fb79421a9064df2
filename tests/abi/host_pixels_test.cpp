// The host's RGBA-32 conversion against the BT.601 matrix it stands for,
// evaluated the plain way, for every Y Cb Cr combination: the plug-in stores
// what comes back from it, so not one byte may change.
#include "host/host_pixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace corvane::host {
namespace {

int reference(double v) { return static_cast<int>(std::clamp(std::lround(v), 0L, 255L)); }

TEST(HostPixels, EveryYCbCrTripleGivesTheMatrixValueRoundedToNearest) {
  // One picture per Cb: row y is luma y, pair m has Cr m mod 256; the odd
  // 257th pair takes the path of a row's lone last pair.
  const PictureSize size{514, 256};
  const std::size_t pairs = 257, luma = std::size_t{size.width} * size.height;
  std::vector<std::uint8_t> planar(size.planarBytes()), frame(luma * 4);
  for (std::size_t r = 0; r < size.height; ++r) {
    std::fill_n(&planar[r * size.width], size.width, static_cast<std::uint8_t>(r));
    for (std::size_t m = 0; m < pairs; ++m)
      planar[luma * 3 / 2 + r * pairs + m] = static_cast<std::uint8_t>(m);
  }
  int mismatches = 0;
  for (int cb = 0; cb < 256 && mismatches < 5; ++cb) {
    std::fill_n(&planar[luma], luma / 2, static_cast<std::uint8_t>(cb));
    planarToBgra(planar, size, frame);
    for (int y = 0; y < 256; ++y) {
      const double l = 1.164383 * (y - 16);
      for (std::size_t x = 0; x < size.width; ++x) {
        const int cr = static_cast<int>(x / 2 % 256);
        const std::uint8_t* got =
            &frame[((size.height - 1 - static_cast<std::size_t>(y)) * size.width + x) * 4];
        const int want[4] = {reference(l + 2.017232 * (cb - 128.0)),
                             reference(l - 0.391762 * (cb - 128.0) - 0.812968 * (cr - 128.0)),
                             reference(l + 1.596027 * (cr - 128.0)), 255};
        if (std::equal(want, want + 4, got)) continue;
        ADD_FAILURE() << "Y " << y << " Cb " << cb << " Cr " << cr << ": got B G R A " << +got[0] << " "
                      << +got[1] << " " << +got[2] << " " << +got[3] << ", want " << want[0] << " " << want[1]
                      << " " << want[2];
        ++mismatches;
      }
    }
  }
}

}  // namespace
}  // namespace corvane::host
