// corvane-host record: a take from the board's input into a QVF file, through
// the record device's exports only, with the frames lost by cause.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>

#include "board/board_config.h"
#include "host/command.h"
#include "host/host_record.h"
#include "host/options.h"
#include "host/output_target.h"
#include "host/progress.h"
#include "host/qvf_header_checks.h"
#include "platform/clock.h"
#include "platform/dynamic_library.h"
#include "platform/environment.h"
#include "platform/file_status.h"
#include "platform/interrupt.h"

namespace corvane::host {
namespace {

constexpr std::uint32_t kPollMilliseconds = 10;
// A take whose position stands still this long ends: the input has gone
// silent, and waiting on would never reach --frames.
constexpr std::uint64_t kStallMicroseconds = 5'000'000;
// Causes that mean the file misses frames it should hold; the others are the
// take's own end (the stop, the limit) or frames with nowhere to go.
constexpr const char* kLosses[] = {"wrong_standard", "unfinished_frame", "no_free_slot", "failed_write"};
// Not a cause: the take report's error number of the first failed write.
constexpr const char* kWriteError = "write_error";

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
  if (auto frames = parsed.value("frames")) {
    options.frames = number("--frames", *frames);
    if (*options.frames == 0) throw UsageError("--frames needs at least 1 frame");
  }
  if (auto seconds = parsed.value("seconds")) {
    char* end = nullptr;
    options.seconds = std::strtod(seconds->c_str(), &end);
    if (*end != '\0' || !(*options.seconds > 0)) throw UsageError("--seconds needs a positive number");
  }
  if (auto limit = parsed.value("limit")) options.limit = number("--limit", *limit);
  if (parsed.operands().size() != 1 || options.frames.has_value() == options.seconds.has_value())
    throw UsageError("record takes OUT.qvf and one of --frames N or --seconds S (see --help)");
  options.path = qvfNameFor(parsed.operands()[0]);
  options.overwrite = overwriteChoice(parsed);
  options.quiet = parsed.has("quiet");
  return options;
}

// The clip the board's input plays (CORVANE_BOARD input=PATH), read by the
// board's own parser: a take may not overwrite the frames it records.
std::vector<std::string> boardInputFiles() {
  const board::BoardConfig config =
      board::parseBoardConfig(platform::environmentValue("CORVANE_BOARD").value_or(""));
  if (config.input != board::InputSource::File) return {};
  return {config.inputPath};
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
  std::error_code noTemporaryFolder;
  const std::filesystem::path temporary = std::filesystem::temp_directory_path(noTemporaryFolder);
  // One that does not exist is named in the error below.
  const std::string folder =
      noTemporaryFolder ? platform::environmentValue("TMPDIR").value_or("/tmp") : temporary.string();
  std::string path;
  std::FILE* file =
      platform::createUniqueFile((std::filesystem::path(folder) / "corvane-take-").string(), ".txt", path);
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

// Frames a take of options should hold: --seconds of video at the device's
// rate, to the nearest frame.
std::uint64_t targetFrames(const Options& options, std::uint32_t rateNumerator,
                           std::uint32_t rateDenominator) {
  if (options.frames) return *options.frames;
  const double frames = *options.seconds * rateNumerator / (rateDenominator ? rateDenominator : 1);
  return std::max<std::uint64_t>(1, static_cast<std::uint64_t>(std::llround(frames)));
}

struct TakeEnd {
  std::uint64_t target = 0;  // frames the take should hold
  bool endedByDevice = false;
  bool stalled = false;
};

// One take into path through the record device's exports, until the target,
// the device's own end, a silent input or an interrupt.
TakeEnd recordTake(const std::string& pluginPath, const std::string& path, const Options& options,
                   const platform::HoldInterrupts& interrupt) {
  LoadedPlugin plugin(pluginPath);
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
  const std::uint64_t target = targetFrames(options, settings.u32(252 + 112), settings.u32(252 + 116));
  // The device's own limit (N + 1 frames) ends the take at the target exactly,
  // where a stop would let a frame or two more land.
  std::uint64_t limit = target - 1;
  if (options.limit != 0) limit = std::min<std::uint64_t>(limit, options.limit);
  RecordBuffer file(32);
  file.setU32(0, 32);
  file.setU32(8, static_cast<std::uint32_t>(std::min<std::uint64_t>(limit, 0xFFFFFFFF)));
  file.setU32(16, static_cast<std::uint32_t>(
                      platform::moduleBaseOf(reinterpret_cast<const void*>(api.AVFILE_OpenRecording))));
  file.setAddress(20, path.c_str());
  if (api.AVFILE_AddRecordingFile(device, file.data()) == 0) {
    api.AVFILE_CloseRecording(device);
    throw std::runtime_error("the record device refused the file " + options.path +
                             " (its folder's path may be too long)");
  }

  platform::Clock& clock = platform::systemClock();
  RecordBuffer position(8);
  position.setU32(0, 8);
  api.AVFILE_StartRecording(device);
  TakeEnd end;
  end.target = target;
  {
    Progress progress("recording", target, options.quiet);
    std::uint64_t lastGrowth = clock.microseconds();
    std::uint32_t lastFrames = 0;
    for (;;) {
      end.endedByDevice = api.AVFILE_GetPositionRecording(device, position.data()) == 0;
      progress.update(std::min<std::uint64_t>(position.u32(4), target));
      const std::uint64_t now = clock.microseconds();
      if (position.u32(4) != lastFrames) lastFrames = position.u32(4), lastGrowth = now;
      end.stalled = now - lastGrowth >= kStallMicroseconds;
      if (end.endedByDevice || position.u32(4) >= target || end.stalled || interrupt.signal() != 0) break;
      clock.sleepMilliseconds(kPollMilliseconds);
    }
  }
  end.endedByDevice = end.endedByDevice && position.u32(4) < target;
  api.AVFILE_StopRecording(device);
  RecordBuffer remove(16);
  remove.setU32(0, 16);
  api.AVFILE_RemoveRecordingFile(device, remove.data());
  api.AVFILE_CloseRecording(device);
  plugin.unload();
  return end;
}

// Cuts a frame left partial by a failed write off the end of the take, and
// frames past the target (a limit of 0 is none, so a take of one frame can
// get more), so that the file stays valid and holds what was asked; the
// whole frames it then holds (0 when it holds none, or is gone).
std::uint64_t keepWholeFrames(const std::string& path, const std::string& shown, std::uint64_t target) {
  QvfLayout layout;
  try {
    layout = inspectQvf(path);
  } catch (const std::runtime_error&) {
    return 0;
  }
  const std::uint64_t kept = std::min(layout.wholeFrames, target);
  if (kept != layout.wholeFrames || layout.trailingBytes != 0) {
    std::error_code error;
    std::filesystem::resize_file(path, layout.dataOffset + kept * layout.blockSize, error);
    if (error) throw std::runtime_error("cannot write " + shown + ": " + error.message());
  }
  return kept;
}

std::string framesText(std::uint64_t frames) {
  return std::to_string(frames) + (frames == 1 ? " frame" : " frames");
}

int run(CommandContext& context) {
  const Options options = parse(context.args);
  // The plug-in writes the take itself; what needs no frames is checked first.
  const std::vector<std::string> inputs = boardInputFiles();
  const OutputTarget target = resolveOutput(options.path, inputs, options.overwrite);
  if (!target.replaceByRename)
    throw std::runtime_error(target.shown + " is not a regular file; a QVF file can only be written to one");
  const TakeReport report = takeReport();
  // A take is worth keeping: Ctrl-C ends it, and its frames stay.
  const platform::HoldInterrupts interrupt;
  // The take grows beside the target and replaces it only with a whole frame.
  PartialFile partial(target, ".qvf", "record");
  partial.closeFile();
  const TakeEnd end = recordTake(context.pluginPath, partial.path(), options, interrupt);
  const std::map<std::string, std::uint32_t> take = lastTake(report.path);
  const std::uint64_t kept = keepWholeFrames(partial.path(), target.shown, end.target);
  if (kept > 0) partial.commit();

  const auto count = [&take](const char* cause) {
    const auto found = take.find(cause);
    return found == take.end() ? 0 : found->second;
  };
  const int writeError = static_cast<int>(count(kWriteError));
  // Frames taken and then lost to the disk are not "no frame taken": the
  // reason line that follows says what happened to them.
  const std::string outcome = kept > 0 ? framesText(kept) + " written to " + target.shown
                              : writeError != 0
                                  ? target.shown + " was not written"
                                  : "no whole frame was taken; " + target.shown + " was not written";
  if (interrupt.signal() != 0) {
    std::fprintf(stderr, "%scorvane-host record: interrupted; %s\n", platform::isTerminal(stderr) ? "\n" : "",
                 (kept > 0 ? framesText(kept) + " kept in " + target.shown : outcome).c_str());
    return 128 + interrupt.signal();
  }
  printSummary(options.quiet, "record", outcome);
  if (end.endedByDevice)
    printSummary(options.quiet, "record", "the device ended the take (a lost frame or the limit)");
  std::string lost = "lost";
  for (const auto& [cause, frames] : take)
    if (cause != "written" && cause != kWriteError) lost += " " + cause + "=" + std::to_string(frames);
  printSummary(options.quiet, "record", lost);
  if (take.empty()) std::fprintf(stderr, "corvane-host record: the plug-in wrote no take report\n");
  if (end.stalled) warn("no frame came from the board's input for 5 seconds: the take ends short");
  if (count("failed_write") != 0 || writeError != 0) throwWriteFailure(target.shown, writeError);
  std::uint32_t losses = 0;
  for (const char* cause : kLosses) losses += count(cause);
  return losses == 0 && !take.empty() && !end.stalled ? 0 : 1;
}

const CommandRegistration registration{
    Command{"record", "record the board's input into a QVF file",
            "usage: corvane-host record OUT.qvf (--frames N | --seconds S) [--limit N] [-y|-n] [-q]\n\n"
            "Opens the record device (AVFILE_OpenRecording), names the record file\n"
            "(AVFILE_AddRecordingFile), starts a take and polls its position until\n"
            "it holds N frames (--seconds S: S seconds of video at the device's rate,\n"
            "to the nearest frame), the device ends the take (--limit N: at most\n"
            "N + 1 frames; 0, the default, is none), or no frame has come for 5\n"
            "seconds (exit status 1); then stops, lets go of the file\n"
            "(AVFILE_RemoveRecordingFile) and closes the device.\n\n"
            "OUT gets \".qvf\" appended unless its fourth character from the end is a\n"
            "dot, as for import. OUT may not be the clip the board's input plays. The\n"
            "take is written under a unique temporary name beside OUT and renamed to\n"
            "OUT when it ends, cut back to its last whole frame; a take without a\n"
            "whole frame leaves an older OUT as it was. Ctrl-C or SIGTERM ends the\n"
            "take early and keeps the frames it holds.\n\n"
            "  -y         overwrite an existing OUT; -n (the default) refuses to.\n"
            "  -q         no progress bar and no summary lines; warnings still show.\n\n"
            "Prints the frames the file holds and the frames lost by cause; exits 1\n"
            "when a frame was lost (wrong_standard, unfinished_frame, no_free_slot,\n"
            "failed_write, with the system's reason for a failed write).\n"
            "after_stop (the frame that ended the take), over_limit and no_file are\n"
            "shown but are no loss. What the board's input carries is set by\n"
            "CORVANE_BOARD (input=pattern, loopback or a clip).",
            run}};

}  // namespace
}  // namespace corvane::host
