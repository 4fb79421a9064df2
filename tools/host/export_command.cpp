// corvane-host export: frames of a QVF file, read through the file input, as
// a y4m stream or in one of the raw host layouts.
#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <optional>
#include <stdexcept>
#include <vector>

#include "host/command.h"
#include "host/host_pixels.h"
#include "host/input_file.h"
#include "host/options.h"
#include "host/output_stream.h"
#include "host/progress.h"
#include "host/qvf_files.h"
#include "host/qvf_header_checks.h"
#include "host/y4m.h"
#include "platform/file_status.h"

namespace corvane::host {
namespace {

struct ExportOptions {
  std::string input;
  std::string output = "-";
  std::string as;
  std::optional<std::uint32_t> first;
  std::optional<std::uint32_t> end;  // one past the last frame
  Overwrite overwrite = Overwrite::Refuse;
  bool quiet = false;
};

std::optional<std::uint32_t> frameNumber(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size())
    throw UsageError("--frames wants A:B with frame numbers, not '" + std::string(text) + "'");
  return value;
}

constexpr std::array kOptions{OptionRule{"output", 'o', true},
                              OptionRule{"as", '\0', true},
                              OptionRule{"frames", '\0', true},
                              kOverwriteYes,
                              kOverwriteNo,
                              kQuiet};

ExportOptions parse(const std::vector<std::string>& args) {
  const ParsedOptions parsed = parseOptions(args, kOptions);
  ExportOptions options;
  if (parsed.operands().size() > 1) throw UsageError("export takes one FILE (see --help)");
  if (parsed.operands().empty()) throw UsageError("no FILE given (see --help)");
  options.input = parsed.operands()[0];
  options.output = parsed.value("output").value_or("-");
  options.as = parsed.value("as").value_or("");
  if (options.as.empty()) throw UsageError("--as y4m|422|444|rgba is required");
  if (const auto range = parsed.value("frames")) {
    const std::size_t colon = range->find(':');
    if (colon == std::string::npos) throw UsageError("--frames wants A:B, not '" + *range + "'");
    options.first = frameNumber(std::string_view(*range).substr(0, colon));
    options.end = frameNumber(std::string_view(*range).substr(colon + 1));
  }
  options.overwrite = overwriteChoice(parsed);
  options.quiet = parsed.has(kQuiet.name);
  return options;
}

// The format read from the plug-in for each --as choice.
std::string formatNameFor(const std::string& as) {
  if (as == "y4m" || as == "422") return "4:2:2";
  if (as == "444") return "4:4:4";
  if (as == "rgba") return "RGBA-32";
  throw UsageError("--as must be y4m, 422, 444 or rgba, not '" + as + "'");
}

// BT.601 sampling of the two video systems: 10:11 for 480 lines, 59:54 for 576.
std::string pixelAspectFor(std::uint32_t height) {
  if (height == 480) return "10:11";
  if (height == 576) return "59:54";
  return "1:1";
}

// Frames first to end - 1 of a file of count frames; an end past the last
// frame is clamped with a warning.
std::pair<std::uint32_t, std::uint32_t> frameRange(const ExportOptions& options, std::uint32_t count) {
  const std::uint32_t first = options.first.value_or(0);
  const std::uint32_t asked = options.end.value_or(count);
  const std::uint32_t end = std::min(asked, count);
  if (first >= end)
    throw std::runtime_error("--frames " + std::to_string(first) + ":" + std::to_string(asked) +
                             " holds no frame of the file's " + std::to_string(count));
  if (asked > count)
    warn(options.input + " has " + counted(count, "frame") + "; exporting " + std::to_string(first) + ":" +
         std::to_string(count) + " instead of " + std::to_string(first) + ":" + std::to_string(asked));
  return {first, end};
}

int run(CommandContext& context) {
  const ExportOptions options = parse(context.args);
  const std::string formatName = formatNameFor(options.as);
  requireReadableFile(options.input);
  const QvfLayout layout = inspectQvf(options.input);
  const std::array inputs{options.input};
  if (options.output == "-" && platform::isTerminal(stdout))
    throw std::runtime_error(
        "will not write binary frames to a terminal; give -o FILE or send standard output to a file or pipe");
  const OutputTarget target = options.output == "-"
                                  ? OutputTarget{"-", "-", false}
                                  : resolveOutput(options.output, inputs, options.overwrite);
  LoadedPlugin plugin(context.pluginPath);
  // Buffers are sized from the geometry the plug-in was loaded for, never
  // from what a file's header claims.
  const HostFormat loaded = formatNamed(acceptedWritingFormats(plugin.api()), formatName);
  requireFramesFit(layout, options.input, loaded.width, loaded.height);
  for (const std::string& warning : qvfWarnings(layout, options.input, loaded.height)) warn(warning);
  ReadingFile file(plugin.api(), options.input);
  const HostFormat& format = formatNamed(file.formats(), formatName);
  if (format.frameBytes > loaded.frameBytes)  // the header changed since it was looked at
    throw std::runtime_error(options.input + " changed while it was being opened");
  const auto [first, end] = frameRange(options, file.frameCount());

  const PictureSize size{format.width, format.height};
  std::vector<std::uint8_t> frame(loaded.frameBytes);
  std::vector<std::uint8_t> planar(options.as == "y4m" ? size.planarBytes() : 0);
  OutputStream out(target, "export");
  if (options.as == "y4m") {
    Y4mHeader header;
    header.width = size.width;
    header.height = size.height;
    header.rateNumerator = format.rateNumerator;
    header.rateDenominator = format.rateDenominator;
    header.interlacing = 't';  // field 0 holds the top rows and comes first in time
    header.aspect = pixelAspectFor(size.height);
    header.chroma = "422";
    errno = 0;
    try {
      writeY4mHeader(out.get(), header);
    } catch (const std::runtime_error&) {
      out.failed();
    }
  }
  {
    Progress progress("export", end - first, options.quiet);
    for (std::uint32_t n = first; n < end; ++n) {
      file.readFrame(n, format, frame);
      if (options.as == "y4m") {
        host422ToPlanar(frame, size, planar);
        errno = 0;
        try {
          writeY4mFrame(out.get(), planar);
        } catch (const std::runtime_error&) {
          out.failed();
        }
      } else {
        out.write(std::span(frame).first(format.frameBytes));
      }
      progress.update(n - first + 1);
    }
  }
  out.commit();
  printSummary(options.quiet, "export",
               counted(end - first, "frame") + " of " + options.input + " written to " + out.shown() +
                   " as " + options.as);
  return 0;
}

const CommandRegistration registration{
    Command{"export", "frames of a QVF file as a y4m stream or raw host frames",
            "usage: corvane-host export FILE [--frames A:B] --as y4m|422|444|rgba [-o OUT|-]\n"
            "                           [-y|-n] [-q]\n\n"
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
            "A B past the last frame is taken as the end, with a warning; a range\n"
            "that starts past it holds no frame and is an error.\n\n"
            "  -o OUT     where to write; '-' (the default) is standard output, which\n"
            "             may not be a terminal.\n"
            "  -y         overwrite an existing OUT; -n (the default) refuses to.\n"
            "  -q         no progress bar and no summary line; warnings still show.\n\n"
            "OUT may not be FILE itself. A new or regular OUT is written under a\n"
            "unique temporary name beside it and renamed when complete; on an error,\n"
            "Ctrl-C or SIGTERM the temporary file is removed and an older OUT is left\n"
            "as it was. A FIFO or device OUT is written to directly.",
            run}};

}  // namespace
}  // namespace corvane::host
