// corvane-host record: a take from the board's input into a QVF file, through
// the record device's exports only, with the frames lost by cause.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

#include "host/command.h"
#include "host/host_record.h"
#include "host/options.h"
#include "host/output_target.h"
#include "host/progress.h"
#include "platform/clock.h"
#include "platform/dynamic_library.h"
#include "platform/environment.h"
#include "platform/file_status.h"

namespace corvane::host {
namespace {

constexpr std::uint32_t kPollMilliseconds = 10;
// A take whose position stands still this long ends: the input has gone
// silent, and waiting on would never reach --frames.
constexpr std::uint64_t kStallMicroseconds = 5'000'000;
// Causes that mean the file misses frames it should hold; the others are the
// take's own end (the stop, the limit) or frames with nowhere to go.
constexpr const char* kLosses[] = {"wrong_standard", "unfinished_frame", "no_free_slot", "failed_write"};

struct Options {
  std::string path;
  std::optional<std::uint32_t> frames;
  std::optional<double> seconds;
  std::uint32_t limit = 0;
  Overwrite overwrite = Overwrite::Refuse;
  bool quiet = false;
};

std::uint32_t number(const std::string& option, const std::string& text) {
  std::size_t end = 0;
  unsigned long value = 0;
  try {
    value = std::stoul(text, &end);
  } catch (const std::exception&) {
    end = 0;
  }
  if (end != text.size() || text.empty() || text[0] == '-' || value > 0xFFFFFFFFul)
    throw UsageError(option + " needs a whole number, not '" + text + "'");
  return static_cast<std::uint32_t>(value);
}

Options parse(const std::vector<std::string>& args) {
  static constexpr OptionRule kRules[] = {{"frames", '\0', true}, {"seconds", '\0', true},
                                          {"limit", '\0', true},  kOverwriteYes,
                                          kOverwriteNo,           kQuiet};
  const ParsedOptions parsed = parseOptions(args, kRules);
  Options options;
  if (auto frames = parsed.value("frames")) options.frames = number("--frames", *frames);
  if (auto seconds = parsed.value("seconds")) {
    char* end = nullptr;
    options.seconds = std::strtod(seconds->c_str(), &end);
    if (*end != '\0' || !(*options.seconds > 0)) throw UsageError("--seconds needs a positive number");
  }
  if (auto limit = parsed.value("limit")) options.limit = number("--limit", *limit);
  if (parsed.operands().size() != 1 || options.frames.has_value() == options.seconds.has_value())
    throw UsageError("record takes OUT.qvf and one of --frames N or --seconds S (see --help)");
  options.path = parsed.operands()[0];
  options.overwrite = overwriteChoice(parsed);
  options.quiet = parsed.has("quiet");
  return options;
}

// The take report the plug-in appends at close; the plug-in reads the
// variable when the device closes, so it is set before the plug-in loads.
struct TakeReport {
  std::string path;
  bool own = false;  // made here, so removed here, whatever way the run ends
  ~TakeReport() {
    if (own) std::remove(path.c_str());
  }
};

TakeReport takeReport() {
  if (auto given = platform::environmentValue("CORVANE_RECORD_REPORT"); given && !given->empty())
    return {*given, false};
  const std::string folder = platform::environmentValue("TMPDIR").value_or("/tmp");
  std::string path;
  std::FILE* file = platform::createUniqueFile(folder + "/corvane-take-", ".txt", path);
  if (file == nullptr) throw std::runtime_error("cannot make a file for the take report in " + folder);
  std::fclose(file);
  platform::setEnvironmentValue("CORVANE_RECORD_REPORT", path);
  return {path, true};
}

std::map<std::string, std::uint32_t> lastTake(const std::string& report) {
  std::ifstream in(report);
  std::string line, last;
  while (std::getline(in, line))
    if (!line.empty()) last = line;
  std::map<std::string, std::uint32_t> take;
  std::istringstream items(last);
  for (std::string item; items >> item;) {
    const std::size_t equals = item.find('=');
    if (equals != std::string::npos) take[item.substr(0, equals)] = number(item, item.substr(equals + 1));
  }
  return take;
}

int run(CommandContext& context) {
  const Options options = parse(context.args);
  // The plug-in writes the take itself; what needs no frames is checked first.
  resolveOutput(options.path, {}, options.overwrite);
  const TakeReport report = takeReport();
  LoadedPlugin plugin(context.pluginPath);
  const AvfileApi& api = plugin.api();

  void* device = nullptr;
  RecordBuffer open(480);
  open.setU32(0, 480);
  if (api.AVFILE_OpenRecording(&device, open.data()) == 0) {
    if (device == nullptr) throw std::runtime_error("the record device did not open");
    std::fprintf(stderr, "corvane-host record: recording without the input preview\n");
  }
  RecordBuffer settings(944);
  settings.setU32(0, 944);
  api.AVFILE_SetRecordingSettings(settings.data());
  RecordBuffer file(32);
  file.setU32(0, 32);
  file.setU32(8, options.limit);
  file.setU32(16, static_cast<std::uint32_t>(
                      platform::moduleBaseOf(reinterpret_cast<const void*>(api.AVFILE_OpenRecording))));
  file.setAddress(20, options.path.c_str());
  if (api.AVFILE_AddRecordingFile(device, file.data()) == 0) {
    api.AVFILE_CloseRecording(device);
    throw std::runtime_error("the record device refused the file " + options.path);
  }

  platform::Clock& clock = platform::systemClock();
  const std::uint32_t rateNumerator = settings.u32(252 + 112), rateDenominator = settings.u32(252 + 116);
  const std::uint64_t target = options.frames
                                   ? *options.frames
                                   : static_cast<std::uint64_t>(*options.seconds * rateNumerator /
                                                                (rateDenominator ? rateDenominator : 1));
  RecordBuffer position(8);
  position.setU32(0, 8);
  api.AVFILE_StartRecording(device);
  bool ended = false, stalled = false;
  {
    Progress progress("recording", target, options.quiet);
    const std::uint64_t start = clock.microseconds();
    std::uint64_t lastGrowth = start;
    std::uint32_t lastFrames = 0;
    for (;;) {
      ended = api.AVFILE_GetPositionRecording(device, position.data()) == 0;
      progress.update(std::min<std::uint64_t>(position.u32(4), target));
      const std::uint64_t now = clock.microseconds();
      if (position.u32(4) != lastFrames) lastFrames = position.u32(4), lastGrowth = now;
      const bool timeUp = options.seconds && (now - start) / 1e6 >= *options.seconds;
      stalled = now - lastGrowth >= kStallMicroseconds;
      if (ended || position.u32(4) >= target || timeUp || stalled) break;
      clock.sleepMilliseconds(kPollMilliseconds);
    }
  }
  if (stalled) warn("no frame came from the board's input for 5 seconds: the take ends short");
  api.AVFILE_StopRecording(device);
  api.AVFILE_GetPositionRecording(device, position.data());
  RecordBuffer remove(16);
  remove.setU32(0, 16);
  api.AVFILE_RemoveRecordingFile(device, remove.data());
  api.AVFILE_CloseRecording(device);
  plugin.unload();

  const std::map<std::string, std::uint32_t> take = lastTake(report.path);
  std::printf("file       %s\n", options.path.c_str());
  std::printf("written    %u frames\n", position.u32(4));
  if (ended) std::printf("ended      by the device (a lost frame or the limit)\n");
  std::printf("lost");
  std::uint32_t lost = 0;
  for (const auto& [cause, count] : take) {
    if (cause == "written") continue;
    std::printf(" %s=%u", cause.c_str(), count);
  }
  std::printf("\n");
  for (const char* cause : kLosses) {
    auto found = take.find(cause);
    if (found != take.end()) lost += found->second;
  }
  if (take.empty()) std::fprintf(stderr, "corvane-host record: the plug-in wrote no take report\n");
  return lost == 0 && !take.empty() && !stalled ? 0 : 1;
}

const CommandRegistration registration{
    Command{"record", "record the board's input into a QVF file",
            "usage: corvane-host record OUT.qvf (--frames N | --seconds S) [--limit N] [-y|-n] [-q]\n\n"
            "Opens the record device (AVFILE_OpenRecording), names OUT.qvf as the\n"
            "record file (AVFILE_AddRecordingFile, with the frame limit N; 0, the\n"
            "default, is none), starts a take and polls its position until N frames\n"
            "are written, S seconds have passed, the device ends the take, or no\n"
            "frame has come for 5 seconds (exit status 1); then\n"
            "stops, removes the file and closes the device.\n\n"
            "Prints the frames written and the frames lost by cause; exits 1 when a\n"
            "frame was lost (wrong_standard, unfinished_frame, no_free_slot,\n"
            "failed_write). after_stop (the frame that ended the take), over_limit\n"
            "and no_file are shown but are no loss. What the board's input carries is\n"
            "set by CORVANE_BOARD (input=pattern, loopback or a clip).",
            run}};

}  // namespace
}  // namespace corvane::host
