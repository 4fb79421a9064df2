// corvane-host info: what the file input says about a QVF file.
#include <cstdio>
#include <stdexcept>

#include "host/command.h"
#include "host/input_file.h"
#include "host/options.h"
#include "host/qvf_files.h"
#include "host/qvf_header_checks.h"

namespace corvane::host {
namespace {

int run(CommandContext& context) {
  const ParsedOptions parsed = parseOptions(context.args, {});
  if (parsed.operands().size() != 1) throw UsageError("info takes one FILE (see --help)");
  const std::string& path = parsed.operands()[0];
  requireReadableFile(path);
  const QvfLayout layout = inspectQvf(path);
  LoadedPlugin plugin(context.pluginPath);
  const HostFormat loaded = acceptedWritingFormats(plugin.api()).at(0);
  for (const std::string& warning : qvfWarnings(layout, path, loaded.height)) warn(warning);
  ReadingFile file(plugin.api(), path);
  const HostFormat& first = file.formats().at(0);
  std::printf("file       %s\n", path.c_str());
  std::printf("frames     %u\n", file.frameCount());
  std::printf("geometry   %u x %u (two fields of %u lines)\n", first.width, first.height, first.height / 2);
  std::printf("rate       %u/%u frames per second (%.6f)\n", first.rateNumerator, first.rateDenominator,
              first.rateDenominator ? static_cast<double>(first.rateNumerator) / first.rateDenominator : 0.0);
  std::printf("formats    %-8s %-38s %10s %s\n", "name", "pixel format id", "bytes", "flags");
  for (const HostFormat& format : file.formats())
    std::printf("           %-8s %-38s %10u 0x%03x\n", format.name.c_str(), format.guid.c_str(),
                format.frameBytes, format.flags);
  return 0;
}

const CommandRegistration registration{
    Command{"info", "frame count, geometry, rate and offered formats of a QVF file",
            "usage: corvane-host info FILE\n\n"
            "Opens FILE through the plug-in's file input (AVFILE_OpenFileForRead,\n"
            "AVFILE_GetReadingFileInfo) and prints its frame count, frame geometry,\n"
            "the rate the plug-in offers (the load-time video mode, not the file's)\n"
            "and the three formats a host can read it in. A last frame cut short,\n"
            "frame blocks too small for their fields and frames smaller than the\n"
            "plug-in's mode each get a warning line on standard error.",
            run}};

}  // namespace
}  // namespace corvane::host
