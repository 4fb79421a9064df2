// corvane-host import: a y4m 4:2:2 stream written into a new QVF file frame
// by frame through the file output, in the host layout of the user's choice.
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <vector>

#include "host/command.h"
#include "host/host_pixels.h"
#include "host/input_file.h"
#include "host/options.h"
#include "host/output_target.h"
#include "host/progress.h"
#include "host/qvf_files.h"
#include "host/qvf_header_checks.h"
#include "host/y4m.h"
#include "platform/file_status.h"

namespace corvane::host {
namespace {

struct ImportOptions {
  std::string input;
  std::string output;
  std::string as = "422";
  Overwrite overwrite = Overwrite::Refuse;
  bool quiet = false;
};

constexpr std::array kOptions{OptionRule{"output", 'o', true}, OptionRule{"as", '\0', true}, kOverwriteYes,
                              kOverwriteNo, kQuiet};

ImportOptions parse(const std::vector<std::string>& args) {
  const ParsedOptions parsed = parseOptions(args, kOptions);
  ImportOptions options;
  if (parsed.operands().size() > 1) throw UsageError("import takes one IN (see --help)");
  if (parsed.operands().empty()) throw UsageError("no IN given (a y4m file, or - for standard input)");
  options.input = parsed.operands()[0];
  options.output = parsed.value("output").value_or("");
  options.as = parsed.value("as").value_or("422");
  if (options.output.empty()) throw UsageError("no -o OUT.qvf given");
  if (options.output == "-")
    throw UsageError("a QVF file cannot go to standard output (the plug-in writes files); give -o FILE");
  if (options.as != "422" && options.as != "444" && options.as != "rgba")
    throw UsageError("--as must be 422, 444 or rgba, not '" + options.as + "'");
  options.overwrite = overwriteChoice(parsed);
  options.quiet = parsed.has(kQuiet.name);
  return options;
}

bool hasQvfExtension(const std::string& path) {
  if (path.size() < 4) return false;
  std::string extension = path.substr(path.size() - 4);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == ".qvf";
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

void checkPicture(const Y4mHeader& header, const HostFormat& format, const std::string& input) {
  if (header.width != format.width || header.height != format.height) {
    const bool otherMode = header.width == 720 && (header.height == 480 || header.height == 576);
    throw std::runtime_error(
        input + ": picture is " + std::to_string(header.width) + "x" + std::to_string(header.height) +
        ", the plug-in in " + modeNameFor(format.height) + " mode writes " + std::to_string(format.width) +
        "x" + std::to_string(format.height) +
        (otherMode ? std::string(" (add --video-mode ") + (header.height == 576 ? "pal" : "ntsc") + ")"
                   : std::string()));
  }
  if (header.chroma != "422")
    throw std::runtime_error(input + ": chroma is " + header.chroma +
                             ", only 8-bit 4:2:2 (C422) is accepted (ffmpeg: -pix_fmt yuv422p)");
}

// Whole frames in a stream of streamBytes, for the bar; 0 when unknown.
std::uint64_t framesIn(std::uint64_t streamBytes, const PictureSize& size) {
  return streamBytes / (size.planarBytes() + std::string_view("FRAME\n").size());
}

// Runs a read of the stream, naming the user's file in its error.
template <typename Read>
auto readingFrom(const std::string& input, Read read) {
  try {
    return read();
  } catch (const std::runtime_error& error) {
    throw std::runtime_error((input == "-" ? std::string("standard input") : input) + ": " + error.what());
  }
}

int run(CommandContext& context) {
  const ImportOptions options = parse(context.args);
  requireReadableFile(options.input);
  const std::array inputs{options.input};
  const OutputTarget target = resolveOutput(qvfNameFor(options.output), inputs, options.overwrite);
  if (!target.replaceByRename)
    throw std::runtime_error(target.shown + " is not a regular file; a QVF file can only be written to one");
  std::unique_ptr<std::FILE, FileCloser> owned;
  std::FILE* in = stdin;
  if (options.input != "-") {
    owned.reset(std::fopen(options.input.c_str(), "rb"));
    if (!owned) {
      const int error = errno;
      throw std::runtime_error("cannot open " + options.input + ": " + platform::errorText(error));
    }
    in = owned.get();
  }
  LoadedPlugin plugin(context.pluginPath);
  const std::vector<HostFormat> accepted = acceptedWritingFormats(plugin.api());
  const HostFormat& format = formatNamed(accepted, options.as == "422"   ? "4:2:2"
                                                   : options.as == "444" ? "4:4:4"
                                                                         : "RGBA-32");
  Y4mReader reader = readingFrom(options.input, [&] { return Y4mReader(in); });
  checkPicture(reader.header(), format, options.input);
  for (const std::string& warning : reader.warnings(format.rateNumerator, format.rateDenominator))
    warn(options.input + ": " + warning);
  if (!hasQvfExtension(target.shown)) warn(target.shown + " will hold QVF data, whatever its extension says");

  const PictureSize size{format.width, format.height};
  std::vector<std::uint8_t> planar(size.planarBytes());
  std::vector<std::uint8_t> frame(format.frameBytes);
  const platform::FileStatus source = platform::fileStatus(options.input);
  std::uint32_t frames = 0;
  {
    PartialFile partial(target, ".qvf", "import");
    partial.closeFile();
    WritingFile file(plugin.api(), partial.path(), target.shown);
    Progress progress("import", source.kind == platform::FileKind::Regular ? framesIn(source.size, size) : 0,
                      options.quiet);
    while (readingFrom(options.input, [&] { return reader.readFrame(planar); })) {
      if (options.as == "422") planarToHost422(planar, size, frame);
      if (options.as == "444") planarToHost444(planar, size, frame);
      if (options.as == "rgba") planarToBgra(planar, size, frame);
      file.writeFrame(format, frame);
      progress.update(++frames);
    }
    if (frames == 0) throw std::runtime_error(options.input + " holds no frames");
    file.close();
    partial.commit();
  }
  printSummary(options.quiet, "import",
               counted(frames, "frame") + " written to " + target.shown + " as " + options.as);
  return 0;
}

const CommandRegistration registration{
    Command{"import", "a y4m 4:2:2 stream into a new QVF file",
            "usage: corvane-host import IN [--as 422|444|rgba] -o OUT [-y|-n] [-q]\n\n"
            "Reads a YUV4MPEG2 stream from the file IN, or from standard input when IN\n"
            "is '-', and writes every frame with AVFILE_WriteNextVideoFrame, handed to\n"
            "the plug-in in the chosen host layout (default 422). The stream must be\n"
            "8-bit 4:2:2 (C422) in the plug-in's geometry (720x480, or 720x576 when\n"
            "the plug-in is loaded in PAL mode); ffmpeg makes one with\n"
            "  -pix_fmt yuv422p -s 720x480 -f yuv4mpegpipe\n"
            "and --video-mode pal loads the plug-in in PAL mode for this run.\n\n"
            "  -y         overwrite an existing OUT; -n (the default) refuses to.\n"
            "  -q         no progress bar and no summary line; warnings still show.\n\n"
            "OUT gets \".qvf\" appended unless its fourth character from the end is a\n"
            "dot, as the plug-in names files; any other extension than .qvf gets a\n"
            "warning. OUT may not be IN, nor standard output. The file is written under\n"
            "a unique temporary name beside OUT and renamed to OUT only when every\n"
            "frame is in and the file is closed; on any error, Ctrl-C or SIGTERM the\n"
            "temporary file is deleted and an older OUT is untouched.\n"
            "Sample values of 255 reach the file as 254, as the plug-in stores them.",
            run}};

}  // namespace
}  // namespace corvane::host
