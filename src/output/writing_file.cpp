#include "output/writing_file.h"

#include <cctype>

#include "qvf/writer.h"

namespace corvane::output {

std::string writingFileName(std::string_view path) {
  std::string name(path);
  if (path.size() < 4 || path[path.size() - 4] != '.') name += ".qvf";
  return name;
}

bool createForWriting(qvf::OpenFileRegistry& registry, const VideoMode& mode, const char* name) noexcept {
  try {
    registry.closeByName(name);
    // A failure of the old file's last frame is no concern of the new file.
    registry.takeClosedWriteFailure(name);
    qvf::create(name, 2, 0, static_cast<std::int32_t>(mode.frameWidth),
                static_cast<std::int32_t>(mode.frameHeight / 2), mode.outputRate);
    return true;
  } catch (...) {
    return false;
  }
}

std::string freeSpaceDirectory(std::string_view path) {
  if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') return ".";
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return ".";
  if (slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

std::optional<std::uint32_t> framesThatFit(std::string_view path, const VideoMode& mode,
                                           FreeBytesSource source) {
  const std::optional<std::uint64_t> freeBytes = source(freeSpaceDirectory(path).c_str());
  if (!freeBytes) return std::nullopt;
  const std::uint64_t frameBlock = std::uint64_t{mode.frameWidth} * mode.frameHeight * 2;
  if (frameBlock == 0) return std::nullopt;
  return static_cast<std::uint32_t>(*freeBytes / frameBlock);
}

}  // namespace corvane::output
