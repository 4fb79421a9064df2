// The host's RGBA-32 conversion against the BT.601 matrix it stands for,
// evaluated the plain way: every luma and chroma combination must give the
// same bytes, since the plug-in stores what comes back from them.
#include "host/host_pixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace corvane::host {
namespace {

std::uint8_t reference(double v) { return static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

TEST(HostPixels, EveryYCbCrTripleGivesTheMatrixValueRoundedToNearest) {
  // One picture per Cb: row y holds luma y in every pixel, pair m has Cr m
  // mod 256. The odd 257th pair takes the path for a row's last lone pair.
  const PictureSize size{514, 256};
  const std::size_t pairs = size.width / 2;
  std::vector<std::uint8_t> planar(size.planarBytes());
  std::vector<std::uint8_t> frame(std::size_t{size.width} * size.height * 4);
  const std::size_t luma = std::size_t{size.width} * size.height;
  for (std::size_t r = 0; r < size.height; ++r) {
    std::fill_n(planar.begin() + static_cast<long>(r * size.width), size.width, static_cast<std::uint8_t>(r));
    for (std::size_t m = 0; m < pairs; ++m)
      planar[luma + luma / 2 + r * pairs + m] = static_cast<std::uint8_t>(m);
  }
  int mismatches = 0;
  for (int cb = 0; cb < 256; ++cb) {
    std::fill_n(planar.begin() + static_cast<long>(luma), luma / 2, static_cast<std::uint8_t>(cb));
    planarToBgra(planar, size, frame);
    for (int y = 0; y < 256 && mismatches < 5; ++y) {
      const std::uint8_t* row =
          frame.data() + (size.height - 1 - static_cast<std::size_t>(y)) * size.width * 4;
      for (int m = 0; m < static_cast<int>(pairs); ++m) {
        const int cr = m % 256;
        const double yy = 1.164383 * (y - 16);
        const std::uint8_t want[4] = {reference(yy + 2.017232 * (cb - 128.0)),
                                      reference(yy - 0.391762 * (cb - 128.0) - 0.812968 * (cr - 128.0)),
                                      reference(yy + 1.596027 * (cr - 128.0)), 255};
        for (int pixel = 0; pixel < 2; ++pixel) {
          const std::uint8_t* got = row + (2 * m + pixel) * 4;
          if (std::equal(want, want + 4, got)) continue;
          ADD_FAILURE() << "Y " << y << " Cb " << cb << " Cr " << cr << ": B G R A " << +got[0] << " "
                        << +got[1] << " " << +got[2] << " " << +got[3] << ", want " << +want[0] << " "
                        << +want[1] << " " << +want[2];
          ++mismatches;
        }
      }
    }
  }
}

}  // namespace
}  // namespace corvane::host
