#include "platform/png_file.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

namespace corvane::platform {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// libpng reports failures by longjmp; nothing in encode() may need a
// destructor run between setjmp and the jump.
bool encode(const PictureView& picture, png_bytep* rows, std::FILE* file) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return false;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  // A preview is rewritten often: speed over size.
  png_set_compression_level(png, 1);
  png_set_IHDR(png, info, picture.width, picture.height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);
  png_set_filler(png, 0, PNG_FILLER_AFTER);  // the rows' alpha bytes are dropped
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool writePngFile(const std::string& path, const PictureView& picture) {
  if (picture.bgra.size() < std::size_t{picture.width} * picture.height * 4) return false;
  std::vector<png_bytep> rows(picture.height);
  for (std::uint32_t y = 0; y < picture.height; ++y)
    rows[y] = const_cast<png_bytep>(picture.bgra.data() + std::size_t{y} * picture.width * 4);
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
  if (!file) return false;
  const bool written = encode(picture, rows.data(), file.get()) && std::fflush(file.get()) == 0;
  return std::fclose(file.release()) == 0 && written;
}

bool readPngFile(const std::string& path, RgbImage& image) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return false;
  png.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(png));
  if (png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr) == 0) {
    png_image_free(&png);
    return false;
  }
  image.width = png.width;
  image.height = png.height;
  image.rgb = std::move(rgb);
  return true;
}

}  // namespace corvane::platform
