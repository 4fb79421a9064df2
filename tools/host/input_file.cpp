#include "host/input_file.h"

#include <stdexcept>

#include "platform/file_status.h"

namespace corvane::host {

void requireReadableFile(const std::string& path) {
  if (path == "-") return;
  using platform::FileKind;
  const platform::FileStatus status = platform::fileStatus(path);
  if (status.kind == FileKind::Missing || status.kind == FileKind::Unreadable)
    throw std::runtime_error("cannot open " + path + ": " + platform::errorText(status.error));
  if (status.kind == FileKind::Directory) throw std::runtime_error(path + " is a directory, not a file");
  if (status.kind != FileKind::Regular && status.kind != FileKind::Fifo)
    throw std::runtime_error(path + " is not a regular file");
  if (const auto error = platform::accessError(path, 'r'))
    throw std::runtime_error("cannot open " + path + ": " + platform::errorText(*error));
}

}  // namespace corvane::host
