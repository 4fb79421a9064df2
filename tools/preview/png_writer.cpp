#include "png_writer.h"

#include <filesystem>

#include "platform/png_file.h"

namespace corvane::scry {

bool writePng(const Picture& picture, const std::string& path) {
  const std::string temporary = path + ".tmp";
  const bool written = platform::writePngFile(temporary, picture.view());
  std::error_code error;
  if (written) std::filesystem::rename(temporary, path, error);
  if (!written || error) {
    std::filesystem::remove(temporary, error);
    return false;
  }
  return true;
}

}  // namespace corvane::scry
