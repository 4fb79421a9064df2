// corvane-host import: a y4m 4:2:2 stream written into a new QVF file frame
// by frame through the file output, in the host layout of the user's choice.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <vector>

#include "host/command.h"
#include "host/host_pixels.h"
#include "host/progress.h"
#include "host/qvf_files.h"
#include "host/y4m.h"

namespace corvane::host {
namespace {

struct ImportOptions {
  std::string input;
  std::string output;
  std::string as = "422";
};

ImportOptions parse(const std::vector<std::string>& args) {
  ImportOptions options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if ((arg == "-o" || arg == "--output") && hasValue) {
      options.output = args[++i];
    } else if (arg == "--as" && hasValue) {
      options.as = args[++i];
    } else if (arg != "-" && arg.size() > 1 && arg[0] == '-') {
      throw std::runtime_error("unknown or incomplete option " + arg + " (see --help)");
    } else if (options.input.empty()) {
      options.input = arg;
    } else {
      throw std::runtime_error("import takes one IN (see --help)");
    }
  }
  if (options.input.empty()) throw std::runtime_error("no IN given (a y4m file, or - for standard input)");
  if (options.output.empty()) throw std::runtime_error("no -o OUT.qvf given");
  if (options.as != "422" && options.as != "444" && options.as != "rgba")
    throw std::runtime_error("--as must be 422, 444 or rgba, not '" + options.as + "'");
  return options;
}

// The plug-in's own naming rule, applied here so that the final name is known
// before the plug-in sees the temporary one.
std::string qvfNameFor(const std::string& path) {
  if (path.size() >= 4 && path[path.size() - 4] == '.') return path;
  return path + ".qvf";
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

// The half-written file under its temporary name, removed unless kept.
class PartialFile {
 public:
  explicit PartialFile(std::string path) : path_(std::move(path)) {}
  ~PartialFile() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  void moveTo(const std::string& target) {
    std::error_code error;
    std::filesystem::rename(path_, target, error);
    if (error)
      throw std::runtime_error("cannot rename the finished file to " + target + ": " + error.message());
    path_.clear();
  }

 private:
  std::string path_;
};

void checkPicture(const Y4mHeader& header, const HostFormat& format, const std::string& input) {
  if (header.width != format.width || header.height != format.height)
    throw std::runtime_error(input + ": picture is " + std::to_string(header.width) + "x" +
                             std::to_string(header.height) + ", the plug-in writes " +
                             std::to_string(format.width) + "x" + std::to_string(format.height));
  if (header.chroma != "422")
    throw std::runtime_error(input + ": chroma is " + header.chroma +
                             ", only 8-bit 4:2:2 (C422) is accepted (ffmpeg: -pix_fmt yuv422p)");
}

int run(CommandContext& context) {
  const ImportOptions options = parse(context.args);
  std::unique_ptr<std::FILE, FileCloser> owned;
  std::FILE* in = stdin;
  if (options.input != "-") {
    owned.reset(std::fopen(options.input.c_str(), "rb"));
    if (!owned) throw std::runtime_error("cannot open " + options.input);
    in = owned.get();
  }
  LoadedPlugin plugin(context.pluginPath);
  const std::vector<HostFormat> accepted = acceptedWritingFormats(plugin.api());
  const HostFormat& format = formatNamed(accepted, options.as == "422"   ? "4:2:2"
                                                   : options.as == "444" ? "4:4:4"
                                                                         : "RGBA-32");
  Y4mReader reader(in);
  checkPicture(reader.header(), format, options.input);
  for (const std::string& warning : reader.warnings(format.rateNumerator, format.rateDenominator))
    std::fprintf(stderr, "corvane-host import: warning: %s: %s\n", options.input.c_str(), warning.c_str());

  const std::string target = qvfNameFor(options.output);
  const std::string temporary = target + ".partial.qvf";
  const PictureSize size{format.width, format.height};
  std::vector<std::uint8_t> planar(size.planarBytes());
  std::vector<std::uint8_t> frame(format.frameBytes);
  std::uint32_t frames = 0;
  {
    PartialFile partial(temporary);
    WritingFile file(plugin.api(), temporary, target);
    Progress progress("import", 0);
    while (reader.readFrame(planar)) {
      if (options.as == "422") planarToHost422(planar, size, frame);
      if (options.as == "444") planarToHost444(planar, size, frame);
      if (options.as == "rgba") planarToBgra(planar, size, frame);
      file.writeFrame(format, frame);
      progress.update(++frames);
    }
    if (frames == 0) throw std::runtime_error(options.input + " holds no frames");
    file.close();
    partial.moveTo(target);
  }
  std::fprintf(stderr, "%u frames written to %s\n", frames, target.c_str());
  return 0;
}

const CommandRegistration registration{
    Command{"import", "a y4m 4:2:2 stream into a new QVF file",
            "usage: corvane-host import IN [--as 422|444|rgba] -o OUT\n\n"
            "Reads a YUV4MPEG2 stream from the file IN, or from standard input when IN\n"
            "is '-', and writes every frame with AVFILE_WriteNextVideoFrame, handed to\n"
            "the plug-in in the chosen host layout (default 422). The stream must be\n"
            "8-bit 4:2:2 (C422) in the plug-in's geometry (720x480, or 720x576 when\n"
            "the plug-in is loaded in PAL mode); ffmpeg makes one with\n"
            "  -pix_fmt yuv422p -s 720x480 -f yuv4mpegpipe\n\n"
            "OUT gets \".qvf\" appended unless its fourth character from the end is a\n"
            "dot, as the plug-in names files. The file is written as OUT.partial.qvf\n"
            "and renamed to OUT only when every frame is in and the file is closed;\n"
            "on any error the partial file is deleted and an older OUT is untouched.\n"
            "Sample values of 255 reach the file as 254, as the plug-in stores them.",
            run}};

}  // namespace
}  // namespace corvane::host
