// The disk behind the file interfaces: frame files are platform::StreamHandle
// (unbuffered where the filesystem allows), header files platform::BufferedFile,
// both under the platform's sharing rules.
#pragma once

#include "qvf/file_io.h"

namespace corvane::qvf {

class DiskStorage final : public Storage {
 public:
  std::unique_ptr<FrameFile> openFrameFile(const char* path) override;
  std::unique_ptr<HeaderFile> openHeaderFile(const char* path, HeaderMode mode) override;
};

}  // namespace corvane::qvf
