// YUV4MPEG2 streams of 8-bit planar 4:2:2 pictures: the interchange format
// between corvane-host and ordinary video tools (ffmpeg reads and writes it,
// also through pipes). A frame is the Y plane (W x H), then Cb and Cr
// (W/2 x H each), top row first.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

namespace corvane::host {

struct Y4mHeader {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t rateNumerator = 0;
  std::uint32_t rateDenominator = 0;
  char interlacing = 'p';          // p, t (top field first), b, m
  std::string aspect = "0:0";      // pixel aspect ratio, "0:0" when unknown
  std::string chroma = "420jpeg";  // the stream's default when C is absent
  bool fullRange = false;          // XCOLORRANGE=FULL: 0..255 rather than studio range

  std::size_t frameBytes() const { return std::size_t{width} * height * 2; }
};

// Reads a stream from an open file (stdin included). Throws std::runtime_error
// with a one-line reason for a malformed header or a truncated frame.
class Y4mReader {
 public:
  explicit Y4mReader(std::FILE* file);
  const Y4mHeader& header() const { return header_; }
  // Fills planes (frameBytes() bytes) with the next frame; false at a clean
  // end of the stream.
  bool readFrame(std::span<std::uint8_t> planes);
  // One line for each way the stream differs from what the plug-in stores
  // (a frame rate other than the given one, bottom field first, full range):
  // the frames are taken as they are, but the user should know.
  std::vector<std::string> warnings(std::uint32_t rateNumerator, std::uint32_t rateDenominator) const;

 private:
  std::string readLine(const char* what);
  std::FILE* file_;
  Y4mHeader header_;
  std::uint32_t framesRead_ = 0;
};

// Writes the stream header; throws std::runtime_error when the write fails.
// The NTSC rate goes out as 30000:1001, the fraction video tools use, also
// when the header holds the plug-in's 29970026:1000000: a tool that compares
// two streams then pairs their frames by time correctly.
void writeY4mHeader(std::FILE* file, const Y4mHeader& header);
// Writes one FRAME marker and its planes.
void writeY4mFrame(std::FILE* file, std::span<const std::uint8_t> planes);

}  // namespace corvane::host
