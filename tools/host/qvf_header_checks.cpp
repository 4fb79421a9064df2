#include "host/qvf_header_checks.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <stdexcept>

#include "host/command.h"
#include "platform/file_status.h"

namespace corvane::host {
namespace {

constexpr std::size_t kFileHeaderBytes = 24;
constexpr std::size_t kStreamHeaderBytes = 24;
constexpr std::uint32_t kMagic = 0x52544D46;  // "FMTR"
// Streams looked at for the first video pair; the plug-in reads no further.
constexpr std::uint32_t kStreamsLookedAt = 64;

std::uint32_t u32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

}  // namespace

std::string modeNameFor(std::uint32_t height) { return height == 576 ? "PAL" : "NTSC"; }

QvfLayout inspectQvf(const std::string& path) {
  // The plug-in opens nothing else, and a pipe would be read away here.
  if (platform::fileStatus(path).kind != platform::FileKind::Regular)
    throw std::runtime_error(path + " is not a regular file");
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) throw std::runtime_error("cannot open " + path);
  QvfLayout layout;
  layout.fileSize = static_cast<std::uint64_t>(in.tellg());
  if (layout.fileSize == 0) throw std::runtime_error(path + " is empty");
  in.seekg(0);
  std::array<std::uint8_t, kFileHeaderBytes> header{};
  in.read(reinterpret_cast<char*>(header.data()), header.size());
  if (!in || u32(&header[0]) != kMagic) throw std::runtime_error(path + " is not a QVF file");
  layout.dataOffset = u32(&header[8]);
  layout.blockSize = u32(&header[16]);
  const std::uint32_t streams = std::min(u32(&header[12]), kStreamsLookedAt);
  int videoSeen = 0;
  for (std::uint32_t s = 0; s < streams && videoSeen < 2; ++s) {
    std::array<std::uint8_t, kStreamHeaderBytes> stream{};
    in.read(reinterpret_cast<char*>(stream.data()), stream.size());
    if (!in) throw std::runtime_error(path + " is not a QVF file (its header is cut short)");
    if (stream[0] != 1 || stream[1] != 0) continue;  // not a video stream
    layout.videoChunkBytes += u32(&stream[4]);
    if (videoSeen++ == 0) {
      layout.width = u32(&stream[16]) / 2;
      layout.height = u32(&stream[20]) * 2;
    }
  }
  if (layout.fileSize > layout.dataOffset && layout.blockSize != 0) {
    const std::uint64_t data = layout.fileSize - layout.dataOffset;
    layout.wholeFrames = data / layout.blockSize;
    layout.trailingBytes = data % layout.blockSize;
  }
  if (layout.wholeFrames == 0) throw std::runtime_error(path + " holds no whole frames");
  return layout;
}

std::vector<std::string> qvfWarnings(const QvfLayout& layout, const std::string& path,
                                     std::uint32_t loadedHeight) {
  std::vector<std::string> warnings;
  if (layout.trailingBytes != 0)
    warnings.push_back(path + " ends inside frame " + std::to_string(layout.wholeFrames) + " (" +
                       std::to_string(layout.trailingBytes) + " of " + std::to_string(layout.blockSize) +
                       " bytes); that partial frame is left out");
  if (layout.blockSize < layout.videoChunkBytes)
    warnings.push_back(path + ": its frame blocks of " + counted(layout.blockSize, "byte") +
                       " are smaller than the " + std::to_string(layout.videoChunkBytes) +
                       " bytes of fields they must hold, so its frames overlap (a damaged header)");
  if (layout.height > loadedHeight)
    warnings.push_back(path + " holds " + std::to_string(layout.height) +
                       "-line frames, more than the plug-in reads in " + modeNameFor(loadedHeight) + " mode" +
                       (layout.height == 576 ? " (add --video-mode pal)" : ""));
  if (layout.height < loadedHeight)
    warnings.push_back(path + " holds " + std::to_string(layout.height) +
                       "-line frames but the plug-in is in " + modeNameFor(loadedHeight) + " mode (" +
                       std::to_string(loadedHeight) + " lines), so they come at its rate" +
                       (layout.height == 480 ? " (add --video-mode ntsc)" : ""));
  return warnings;
}

void requireFramesFit(const QvfLayout& layout, const std::string& path, std::uint32_t loadedWidth,
                      std::uint32_t loadedHeight) {
  if (layout.width <= loadedWidth && layout.height <= loadedHeight) return;
  std::string hint;
  if (layout.width == 720 && layout.height == 576) hint = " (add --video-mode pal)";
  throw std::runtime_error(path + " claims " + std::to_string(layout.width) + " x " +
                           std::to_string(layout.height) + " frames; the plug-in in " +
                           modeNameFor(loadedHeight) + " mode reads at most " + std::to_string(loadedWidth) +
                           " x " + std::to_string(loadedHeight) + hint);
}

}  // namespace corvane::host
