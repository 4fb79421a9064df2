#include "host/y4m.h"

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace corvane::host {
namespace {

constexpr std::size_t kLongestLine = 1024;

std::uint32_t parseNumber(std::string_view text, const char* what) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size())
    throw std::runtime_error(std::string("y4m header: bad ") + what + " '" + std::string(text) + "'");
  return value;
}

void parseRate(std::string_view text, Y4mHeader& header) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos)
    throw std::runtime_error("y4m header: bad frame rate '" + std::string(text) + "'");
  header.rateNumerator = parseNumber(text.substr(0, colon), "frame rate");
  header.rateDenominator = parseNumber(text.substr(colon + 1), "frame rate");
}

void parseTag(std::string_view tag, Y4mHeader& header) {
  const std::string_view value = tag.substr(1);
  switch (tag[0]) {
    case 'W':
      header.width = parseNumber(value, "width");
      break;
    case 'H':
      header.height = parseNumber(value, "height");
      break;
    case 'F':
      parseRate(value, header);
      break;
    case 'I':
      header.interlacing = value.empty() ? '?' : value[0];
      break;
    case 'A':
      header.aspect = std::string(value);
      break;
    case 'C':
      header.chroma = std::string(value);
      break;
    case 'X':
      if (value == "COLORRANGE=FULL") header.fullRange = true;
      break;
    default:
      break;  // tags of later versions
  }
}

double rateOf(std::uint32_t numerator, std::uint32_t denominator) {
  return denominator == 0 ? 0.0 : static_cast<double>(numerator) / denominator;
}

// Rates within 1e-5 of each other play the same for a viewer; the
// plug-in's 29970026/1000000 and 30000/1001 differ by 1.3e-7.
bool sameRate(double a, double b) { return std::abs(a - b) <= 1e-5 * b; }

std::string rateText(double rate) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", rate);
  return text;
}

void put(std::FILE* file, const void* data, std::size_t bytes) {
  if (std::fwrite(data, 1, bytes, file) != bytes) throw std::runtime_error("cannot write the y4m stream");
}

}  // namespace

Y4mReader::Y4mReader(std::FILE* file) : file_(file) {
  const std::string line = readLine("header");
  std::string_view rest(line);
  if (rest.substr(0, 10) != "YUV4MPEG2 " && rest != "YUV4MPEG2")
    throw std::runtime_error("not a y4m stream (no YUV4MPEG2 signature)");
  rest.remove_prefix(rest.size() < 10 ? rest.size() : 10);
  while (!rest.empty()) {
    const std::size_t space = rest.find(' ');
    const std::string_view tag = rest.substr(0, space);
    if (!tag.empty()) parseTag(tag, header_);
    rest.remove_prefix(space == std::string_view::npos ? rest.size() : space + 1);
  }
  if (header_.width == 0 || header_.height == 0) throw std::runtime_error("y4m header: no picture size");
}

std::string Y4mReader::readLine(const char* what) {
  std::string line;
  for (;;) {
    const int c = std::fgetc(file_);
    if (c == EOF) {
      if (line.empty()) return line;
      throw std::runtime_error(std::string("y4m stream: truncated ") + what);
    }
    if (c == '\n') return line;
    if (line.size() == kLongestLine)
      throw std::runtime_error(std::string("y4m stream: ") + what + " line too long");
    line.push_back(static_cast<char>(c));
  }
}

bool Y4mReader::readFrame(std::span<std::uint8_t> planes) {
  const std::string marker = readLine("frame marker");
  if (marker.empty() && std::feof(file_)) return false;
  if (marker.substr(0, 5) != "FRAME")
    throw std::runtime_error("y4m stream: frame " + std::to_string(framesRead_) + " has no FRAME marker");
  const std::size_t want = header_.frameBytes();
  if (planes.size() < want) throw std::logic_error("y4m frame buffer too small");
  if (std::fread(planes.data(), 1, want, file_) != want)
    throw std::runtime_error("y4m stream: frame " + std::to_string(framesRead_) + " is truncated");
  ++framesRead_;
  return true;
}

std::vector<std::string> Y4mReader::warnings(std::uint32_t rateNumerator,
                                             std::uint32_t rateDenominator) const {
  std::vector<std::string> lines;
  const double stream = rateOf(header_.rateNumerator, header_.rateDenominator);
  const double plugin = rateOf(rateNumerator, rateDenominator);
  if (stream > 0 && plugin > 0 && !sameRate(stream, plugin))
    lines.push_back("the stream runs at " + rateText(stream) + " frames/s (F" +
                    std::to_string(header_.rateNumerator) + ":" + std::to_string(header_.rateDenominator) +
                    "), the file is written at the plug-in's " + rateText(plugin) +
                    ": every frame is kept, the timing is not");
  if (header_.interlacing == 'b')
    lines.push_back(
        "the stream is bottom field first (Ib); the file stores the top field first, so "
        "motion will judder");
  if (header_.fullRange)
    lines.push_back(
        "the stream is full range (XCOLORRANGE=FULL); the samples are stored unchanged as "
        "studio range, so the picture gains contrast");
  return lines;
}

void writeY4mHeader(std::FILE* file, const Y4mHeader& header) {
  std::uint32_t numerator = header.rateNumerator;
  std::uint32_t denominator = header.rateDenominator;
  if (sameRate(rateOf(numerator, denominator), 30000.0 / 1001)) {
    numerator = 30000;
    denominator = 1001;
  }
  const std::string line = "YUV4MPEG2 W" + std::to_string(header.width) + " H" +
                           std::to_string(header.height) + " F" + std::to_string(numerator) + ":" +
                           std::to_string(denominator) + " I" + header.interlacing + " A" + header.aspect +
                           " C" + header.chroma + " XCOLORRANGE=LIMITED\n";
  put(file, line.data(), line.size());
}

void writeY4mFrame(std::FILE* file, std::span<const std::uint8_t> planes) {
  put(file, "FRAME\n", 6);
  put(file, planes.data(), planes.size());
}

}  // namespace corvane::host
