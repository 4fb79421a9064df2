// The previews' PNG files through the system's imaging library: what is
// written reads back pixel for pixel, in the right channel order, and a bad
// picture or a damaged file is refused without a half result.
#include "platform/png_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace corvane::platform {
namespace {

// Every pixel different, and B, G and R never equal, so a swapped channel or
// a shifted row shows; the alpha byte is noise the file must not carry.
std::vector<std::uint8_t> gradient(std::uint32_t width, std::uint32_t height) {
  std::vector<std::uint8_t> bgra(std::size_t{width} * height * 4);
  for (std::uint32_t y = 0; y < height; ++y)
    for (std::uint32_t x = 0; x < width; ++x) {
      std::uint8_t* p = &bgra[(std::size_t{y} * width + x) * 4];
      p[0] = static_cast<std::uint8_t>(x * 7 + y);
      p[1] = static_cast<std::uint8_t>(y * 3);
      p[2] = static_cast<std::uint8_t>(255 - x);
      p[3] = static_cast<std::uint8_t>(x ^ y);
    }
  return bgra;
}

class PngFile : public ::testing::Test {
 protected:
  testing::TempDir dir_;
  std::string path_ = dir_ / "picture.png";
};

TEST_F(PngFile, ReadsBackEveryPixelAsRgb) {
  // An odd width: rows of 3-byte pixels are not a multiple of 4 bytes.
  const std::uint32_t width = 37, height = 11;
  const std::vector<std::uint8_t> bgra = gradient(width, height);
  ASSERT_TRUE(writePngFile(path_, {width, height, bgra}));

  RgbImage image;
  ASSERT_TRUE(readPngFile(path_, image));
  ASSERT_EQ(image.width, width);
  ASSERT_EQ(image.height, height);
  ASSERT_EQ(image.rgb.size(), std::size_t{width} * height * 3);
  std::size_t wrong = 0;
  for (std::size_t i = 0; i < std::size_t{width} * height; ++i)
    for (std::size_t c = 0; c < 3; ++c) wrong += image.rgb[i * 3 + c] != bgra[i * 4 + 2 - c];
  EXPECT_EQ(wrong, 0u);
}

TEST_F(PngFile, RefusesAPictureShorterThanItsSize) {
  const std::vector<std::uint8_t> bgra = gradient(8, 8);
  EXPECT_FALSE(writePngFile(path_, {8, 9, bgra}));
  EXPECT_FALSE(writePngFile(dir_ / "no-such-dir/picture.png", {8, 8, bgra}));
}

TEST_F(PngFile, ADamagedOrMissingFileLeavesTheImageAsItWas) {
  const std::vector<std::uint8_t> bgra = gradient(64, 64);
  ASSERT_TRUE(writePngFile(path_, {64, 64, bgra}));
  RgbImage image;
  image.width = 5;
  const std::string whole = testing::readFile(path_);
  ASSERT_GT(whole.size(), 64u);  // half of it still has the header, not the pixels
  const std::string cut = dir_ / "cut.png";
  std::ofstream(cut, std::ios::binary) << whole.substr(0, whole.size() / 2);

  EXPECT_FALSE(readPngFile(cut, image));
  EXPECT_FALSE(readPngFile(dir_ / "missing.png", image));
  std::ofstream(dir_ / "text.png") << "not a picture";
  EXPECT_FALSE(readPngFile(dir_ / "text.png", image));
  EXPECT_EQ(image.width, 5u);
  EXPECT_TRUE(image.rgb.empty());
}

}  // namespace
}  // namespace corvane::platform
