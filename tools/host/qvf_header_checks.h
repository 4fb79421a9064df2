// A look at a QVF file's own header before the plug-in opens it, for what the
// plug-in passes over in silence: a file that is not QVF at all, a last
// frame cut short, frame blocks too small for the fields they claim to hold,
// a frame size other than the one the plug-in was loaded for.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvane::host {

struct QvfLayout {
  std::uint64_t fileSize = 0;
  std::uint32_t dataOffset = 0;
  std::uint32_t blockSize = 0;
  std::uint64_t videoChunkBytes = 0;  // the chunks of the first two video streams
  std::uint32_t width = 0;
  std::uint32_t height = 0;  // both fields
  std::uint64_t wholeFrames = 0;
  std::uint64_t trailingBytes = 0;  // of a last frame block cut short
};

// Throws std::runtime_error for an empty file, one without the QVF magic, a
// header cut short, or one that holds no whole frame.
QvfLayout inspectQvf(const std::string& path);

// One line per surprise, naming path; loadedHeight is the frame height of
// the plug-in's load-time mode (480 or 576).
std::vector<std::string> qvfWarnings(const QvfLayout& layout, const std::string& path,
                                     std::uint32_t loadedHeight);

// Throws when the file's frames cannot fit the buffers sized for the plug-in's
// load-time geometry, saying which --video-mode would read them.
void requireFramesFit(const QvfLayout& layout, const std::string& path, std::uint32_t loadedWidth,
                      std::uint32_t loadedHeight);

// "NTSC" or "PAL" for a frame height of 480 or 576 lines.
std::string modeNameFor(std::uint32_t height);

}  // namespace corvane::host
