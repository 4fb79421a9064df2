// corvane-host export: frames of a QVF file, read through the file input, as
// a y4m stream or in one of the raw host layouts.
#include <charconv>
#include <optional>
#include <stdexcept>
#include <vector>

#include "host/command.h"
#include "host/host_pixels.h"
#include "host/output_stream.h"
#include "host/progress.h"
#include "host/qvf_files.h"
#include "host/y4m.h"

namespace corvane::host {
namespace {

struct ExportOptions {
  std::string input;
  std::string output = "-";
  std::string as;
  std::optional<std::uint32_t> first;
  std::optional<std::uint32_t> end;  // one past the last frame
};

std::optional<std::uint32_t> frameNumber(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size())
    throw std::runtime_error("--frames wants A:B with frame numbers, not '" + std::string(text) + "'");
  return value;
}

ExportOptions parse(const std::vector<std::string>& args) {
  ExportOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if ((arg == "-o" || arg == "--output") && hasValue) {
      options.output = args[++i];
    } else if (arg == "--as" && hasValue) {
      options.as = args[++i];
    } else if (arg == "--frames" && hasValue) {
      const std::string& range = args[++i];
      const std::size_t colon = range.find(':');
      if (colon == std::string::npos) throw std::runtime_error("--frames wants A:B, not '" + range + "'");
      options.first = frameNumber(std::string_view(range).substr(0, colon));
      options.end = frameNumber(std::string_view(range).substr(colon + 1));
    } else if (arg.size() > 1 && arg[0] == '-') {
      throw std::runtime_error("unknown or incomplete option " + arg + " (see --help)");
    } else if (options.input.empty()) {
      options.input = arg;
    } else {
      throw std::runtime_error("export takes one FILE (see --help)");
    }
  }
  if (options.input.empty()) throw std::runtime_error("no FILE given (see --help)");
  if (options.as.empty()) throw std::runtime_error("--as y4m|422|444|rgba is required");
  return options;
}

// The format read from the plug-in for each --as choice.
std::string formatNameFor(const std::string& as) {
  if (as == "y4m" || as == "422") return "4:2:2";
  if (as == "444") return "4:4:4";
  if (as == "rgba") return "RGBA-32";
  throw std::runtime_error("--as must be y4m, 422, 444 or rgba, not '" + as + "'");
}

// BT.601 sampling of the two video systems: 10:11 for 480 lines, 59:54 for 576.
std::string pixelAspectFor(std::uint32_t height) {
  if (height == 480) return "10:11";
  if (height == 576) return "59:54";
  return "1:1";
}

int run(CommandContext& context) {
  const ExportOptions options = parse(context.args);
  const std::string formatName = formatNameFor(options.as);
  LoadedPlugin plugin(context.pluginPath);
  ReadingFile file(plugin.api(), options.input);
  const HostFormat& format = formatNamed(file.formats(), formatName);

  const std::uint32_t first = options.first.value_or(0);
  const std::uint32_t end = options.end.value_or(file.frameCount());
  if (first >= end || end > file.frameCount())
    throw std::runtime_error("--frames " + std::to_string(first) + ":" + std::to_string(end) +
                             " is not a range within the file's " + std::to_string(file.frameCount()) +
                             " frames");

  const PictureSize size{format.width, format.height};
  std::vector<std::uint8_t> frame(format.frameBytes);
  std::vector<std::uint8_t> planar(options.as == "y4m" ? size.planarBytes() : 0);
  OutputStream out(options.output);
  if (options.as == "y4m") {
    Y4mHeader header;
    header.width = size.width;
    header.height = size.height;
    header.rateNumerator = format.rateNumerator;
    header.rateDenominator = format.rateDenominator;
    header.interlacing = 't';  // field 0 holds the top rows and comes first in time
    header.aspect = pixelAspectFor(size.height);
    header.chroma = "422";
    writeY4mHeader(out.get(), header);
  }
  Progress progress("export", end - first);
  for (std::uint32_t n = first; n < end; ++n) {
    file.readFrame(n, format, frame);
    if (options.as == "y4m") {
      host422ToPlanar(frame, size, planar);
      writeY4mFrame(out.get(), planar);
    } else if (std::fwrite(frame.data(), 1, frame.size(), out.get()) != frame.size()) {
      throw std::runtime_error("cannot write " + options.output);
    }
    progress.update(n - first + 1);
  }
  out.commit();
  return 0;
}

const CommandRegistration registration{
    Command{"export", "frames of a QVF file as a y4m stream or raw host frames",
            "usage: corvane-host export FILE [--frames A:B] --as y4m|422|444|rgba [-o OUT|-]\n\n"
            "Reads frames A to B-1 (default: all; A: and :B leave one end open) of\n"
            "FILE through the plug-in's file input and writes them to OUT, or to\n"
            "standard output when OUT is '-' or absent.\n\n"
            "  --as y4m   a YUV4MPEG2 stream, planar 4:2:2 (C422), interlaced top field\n"
            "             first (It), at the plug-in's rate (F30000:1001 or F25:1)\n"
            "             with BT.601 pixel aspect (A10:11 at 480 lines, A59:54 at\n"
            "             576); ffmpeg reads it, also from a pipe.\n"
            "  --as 422   raw \"4:2:2\" host frames: field 0, field 1 (Cb Y0 Cr Y1), and\n"
            "             the 4-byte trailer; 2 x W x H + 4 bytes per frame.\n"
            "  --as 444   raw \"4:4:4\" host frames: top-down Y Cb Cr A, 4 x W x H bytes.\n"
            "  --as rgba  raw \"RGBA-32\" host frames: bottom-up B G R A, 4 x W x H bytes.\n\n"
            "A file OUT is written as OUT.partial and renamed when complete; on an\n"
            "error it is removed and any older OUT is left as it was.",
            run}};

}  // namespace
}  // namespace corvane::host
