// corvane-host play: a QVF clip played out through the output device, as a
// host plays a timeline: frames read through the file input go into the
// device's buffers with presentation times n x the frame period, playback
// starts once the first frames wait, and the board's shown= list tells how
// late each frame went on air.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "board/board_config.h"
#include "board/monitor_reader.h"
#include "board/virtual_board.h"
#include "host/command.h"
#include "host/host_record.h"
#include "host/input_file.h"
#include "host/options.h"
#include "host/progress.h"
#include "host/qvf_files.h"
#include "host/qvf_header_checks.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/file_status.h"
#include "platform/interrupt.h"

namespace corvane::host {
namespace {

constexpr std::uint32_t kDeviceBuffers = 20;
constexpr std::size_t kBufferRecordSize = 496;
constexpr std::uint32_t kDropFlag = 0x1;  // the host asks that the buffer go back unshown

struct PlayOptions {
  std::string input;
  std::string as = "422";
  std::optional<std::uint32_t> first;
  std::optional<std::uint32_t> end;
  std::uint32_t startAfter = 10;
  bool quiet = false;
};

std::uint32_t number(std::string_view text, const std::string& option) {
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size())
    throw UsageError(option + " wants a whole number, not '" + std::string(text) + "'");
  return value;
}

PlayOptions parse(const std::vector<std::string>& args) {
  static constexpr OptionRule kRules[] = {
      {"as", '\0', true}, {"frames", '\0', true}, {"start-after", '\0', true}, kQuiet};
  const ParsedOptions parsed = parseOptions(args, kRules);
  PlayOptions options;
  if (auto as = parsed.value("as")) options.as = *as;
  if (auto range = parsed.value("frames")) {
    const std::size_t colon = range->find(':');
    if (colon == std::string::npos) throw UsageError("--frames wants A:B, not '" + *range + "'");
    if (colon > 0) options.first = number(std::string_view(*range).substr(0, colon), "--frames");
    if (colon + 1 < range->size())
      options.end = number(std::string_view(*range).substr(colon + 1), "--frames");
  }
  if (auto startAfter = parsed.value("start-after")) {
    options.startAfter = number(*startAfter, "--start-after");
    if (options.startAfter < 1 || options.startAfter > kDeviceBuffers)
      throw UsageError("--start-after must be from 1 to 20: the device has 20 buffers");
  }
  if (parsed.operands().size() != 1) throw UsageError("play takes one CLIP (see --help)");
  options.input = parsed.operands()[0];
  options.quiet = parsed.has("quiet");
  return options;
}

std::string formatNameFor(const std::string& as) {
  if (as == "422") return "4:2:2";
  if (as == "444") return "4:4:4";
  if (as == "rgba") return "RGBA-32";
  throw std::runtime_error("--as must be 422, 444 or rgba, not '" + as + "'");
}

// The board's shown= list: the user's, or a temporary one that is removed
// again. It is set before the plug-in loads, since the board reads its
// settings then.
class ShownList {
 public:
  ShownList() {
    std::string settings = platform::environmentValue("CORVANE_BOARD").value_or("");
    std::istringstream items(settings);
    for (std::string item; std::getline(items, item, ',');) {
      if (item.rfind("shown=", 0) == 0) path_ = item.substr(6);
    }
    if (!path_.empty()) return;
    const std::string name =
        "corvane-play-" + std::to_string(platform::systemClock().microseconds()) + ".shown";
    path_ = (std::filesystem::temp_directory_path() / name).string();
    temporary_ = true;
    settings += (settings.empty() ? "" : ",") + std::string("shown=") + path_;
    platform::setEnvironmentValue("CORVANE_BOARD", settings);
  }
  ~ShownList() {
    std::error_code ignored;
    if (temporary_) std::filesystem::remove(path_, ignored);
  }
  ShownList(const ShownList&) = delete;
  ShownList& operator=(const ShownList&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool temporary_ = false;
};

// The frames the output device dropped because the board had no free frame,
// as its playback thread counted them. The plug-in keeps the count in its
// board's monitor, which this process (the plug-in's host) finds by name
// while the plug-in is loaded. Without a monitor (no shared memory) the
// count is unknown.
class DeviceDrops {
 public:
  DeviceDrops()
      : reader_(board::MonitorReader::open(board::monitorNameInThisProcess(
            board::parseBoardConfig(platform::environmentValue("CORVANE_BOARD").value_or(""))))),
        before_(reader_ ? reader_->playbackDrops() : 0) {}
  std::optional<std::uint32_t> sinceMade() const {
    if (!reader_) return std::nullopt;
    return reader_->playbackDrops() - before_;
  }

 private:
  std::unique_ptr<board::MonitorReader> reader_;
  std::uint32_t before_;
};

// The times at which the frames went on air, in order.
std::vector<std::uint64_t> shownTimes(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::uint64_t> times;
  std::uint64_t n = 0, time = 0;
  for (std::string hash; in >> n >> time >> hash;) times.push_back(time);
  return times;
}

class OutputDevice {
 public:
  explicit OutputDevice(const AvfileApi& api) : api_(api) {
    RecordBuffer descriptor(324);
    descriptor.setU32(0, 324);
    if (api_.AVFILE_QueryInterfaceSink(descriptor.data()) != 1)
      throw std::runtime_error("the plug-in offers no output device");
    chosen_.setU32(0, 236);
    params_.setAddress(24, chosen_.data());
    params_.setAddress(48, hostBlock_.data());
    if (api_.AVFILE_OpenSink(&handle_, params_.data()) != 1) {
      api_.AVFILE_CloseInterfaceSink(nullptr);
      throw std::runtime_error("the output device does not open");
    }
  }
  ~OutputDevice() {
    // The device waits at its close until every queued frame went out, and
    // none goes out before a start: a play that failed midway starts it.
    if (queued_ && !started_) start();
    api_.AVFILE_CloseSink(handle_);
    api_.AVFILE_CloseInterfaceSink(nullptr);
  }
  OutputDevice(const OutputDevice&) = delete;
  OutputDevice& operator=(const OutputDevice&) = delete;

  // The device's offered format with that pixel format id (its offers carry
  // no display names).
  HostFormat offered(const std::string& guid) const {
    RecordBuffer info(1068);
    if (api_.AVFILE_GetSinkInfo(handle_, info.data()) != 1)
      throw std::runtime_error("the output device has no formats");
    for (std::uint32_t i = 0; i < info.u32(16); ++i) {
      HostFormat format =
          HostFormat::fromRecord(static_cast<const std::uint8_t*>(info.address(12)) + i * 236);
      if (format.guid == guid) return format;
    }
    throw std::runtime_error("the output device does not offer " + guid);
  }

  // A free buffer for a frame of format; waits while all are queued.
  RecordBuffer take(const HostFormat& format) {
    RecordBuffer record(kBufferRecordSize);
    record.setU32(0, kBufferRecordSize);
    record.setText(20, format.guid);
    if (api_.AVFILE_SinkGetEmptyBuffer(handle_, record.data()) != 1)
      throw std::runtime_error("the output device gives no buffer");
    return record;
  }
  void queue(RecordBuffer& record, std::int64_t time) {
    record.setU32(472, static_cast<std::uint32_t>(time));
    record.setU32(476, static_cast<std::uint32_t>(static_cast<std::uint64_t>(time) >> 32));
    if (api_.AVFILE_SinkAddFullBuffer(handle_, record.data()) != 1)
      throw std::runtime_error("the output device refuses a frame");
    queued_ = true;
  }
  // A buffer taken but never filled goes back to the device.
  void giveBack(RecordBuffer& record) {
    record.setU32(4, record.u32(4) | kDropFlag);
    api_.AVFILE_SinkAddFullBuffer(handle_, record.data());
  }
  void start() {
    api_.AVFILE_StartSink(handle_);
    started_ = true;
  }
  void stop() { api_.AVFILE_StopSink(handle_); }

 private:
  const AvfileApi& api_;
  RecordBuffer chosen_{236};
  RecordBuffer hostBlock_{24};
  RecordBuffer params_{52};
  void* handle_ = nullptr;
  bool queued_ = false;
  bool started_ = false;
};

std::uint64_t percentile(std::vector<std::int64_t> sorted, std::size_t percent) {
  if (sorted.empty()) return 0;
  const std::size_t at = (sorted.size() * percent + 99) / 100;
  return static_cast<std::uint64_t>(
      std::max<std::int64_t>(0, sorted[std::min(sorted.size(), std::max<std::size_t>(at, 1)) - 1]));
}

// What went out: the frames queued, the times the board showed them, and the
// clock and period their due times are counted from.
struct Played {
  std::uint32_t queued = 0;
  std::vector<std::uint64_t> shown;
  std::optional<std::uint32_t> dropped;  // as the device counted them
  std::uint64_t startedAt = 0;
  std::uint64_t periodNumerator = 0;
  std::uint64_t periodDenominator = 1;
};

// Plays frames first to end - 1 of the clip; a held interrupt stops the
// queueing, and the frames already queued still go out before the device closes.
Played playClip(const PlayOptions& options, const std::string& formatName, const QvfLayout& layout,
                const std::string& pluginPath, const platform::HoldInterrupts& interrupts) {
  const ShownList shown;
  LoadedPlugin plugin(pluginPath);
  const DeviceDrops drops;
  const HostFormat loaded = formatNamed(acceptedWritingFormats(plugin.api()), formatName);
  requireFramesFit(layout, options.input, loaded.width, loaded.height);
  for (const std::string& warning : qvfWarnings(layout, options.input, loaded.height)) warn(warning);
  ReadingFile file(plugin.api(), options.input);
  const std::uint32_t first = options.first.value_or(0);
  const std::uint32_t end = options.end.value_or(file.frameCount());
  if (first >= end || end > file.frameCount())
    throw std::runtime_error("--frames " + std::to_string(first) + ":" + std::to_string(end) +
                             " is not a range within the clip's " + counted(file.frameCount(), "frame"));
  const HostFormat& readAs = formatNamed(file.formats(), formatName);

  Played played;
  const std::uint32_t count = end - first;
  {
    OutputDevice device(plugin.api());
    const HostFormat playAs = device.offered(readAs.guid);
    if (playAs.width != readAs.width || playAs.height != readAs.height)
      throw std::runtime_error("the clip's frames are " + std::to_string(readAs.width) + " x " +
                               std::to_string(readAs.height) + ", the device plays " +
                               std::to_string(playAs.width) + " x " + std::to_string(playAs.height));
    // n x 10^6 x denominator / numerator microseconds, exact for any n.
    played.periodNumerator = 1'000'000ull * playAs.rateDenominator;
    played.periodDenominator = playAs.rateNumerator;
    Progress progress("play", count, options.quiet);
    bool started = false;
    for (std::uint32_t k = 0; k < count && interrupts.signal() == 0; ++k) {
      RecordBuffer buffer = device.take(playAs);
      auto* data = static_cast<std::uint8_t*>(buffer.address(480));
      try {
        file.readFrame(first + k, readAs, std::span(data, buffer.u32(484)));
      } catch (...) {
        device.giveBack(buffer);
        throw;
      }
      device.queue(buffer, static_cast<std::int64_t>(k * played.periodNumerator / played.periodDenominator));
      played.queued = k + 1;
      if (played.queued == std::min(options.startAfter, count)) {
        played.startedAt = platform::systemClock().microseconds();
        device.start();
        started = true;
      }
      progress.update(k + 1);
    }
    // Interrupted before enough frames waited: the ones queued still go out.
    if (!started && played.queued > 0) {
      played.startedAt = platform::systemClock().microseconds();
      device.start();
    }
    device.stop();
  }
  // The device has closed: every frame is out or dropped and counted.
  played.dropped = drops.sinceMade();
  played.shown = shownTimes(shown.path());
  return played;
}

int run(CommandContext& context) {
  const PlayOptions options = parse(context.args);
  const std::string formatName = formatNameFor(options.as);
  requireReadableFile(options.input);
  const QvfLayout layout = inspectQvf(options.input);
  const platform::HoldInterrupts interrupts;
  const Played played = playClip(options, formatName, layout, context.pluginPath, interrupts);
  const std::size_t shown = played.shown.size();
  if (interrupts.signal() != 0) {
    // On a terminal the line starts after the echoed ^C.
    std::fprintf(stderr, "%scorvane-host play: interrupted; %s went out\n",
                 platform::isTerminal(stderr) ? "\n" : "", counted(shown, "frame").c_str());
    interrupts.endIfInterrupted();
  }

  const std::uint32_t count = played.queued;
  std::vector<std::int64_t> lateness;
  // Frames that were dropped leave no line: lateness is known only when all went out.
  if (shown == count) {
    for (std::uint32_t k = 0; k < count; ++k) {
      const auto due =
          static_cast<std::int64_t>(played.startedAt + k * played.periodNumerator / played.periodDenominator);
      lateness.push_back(static_cast<std::int64_t>(played.shown[k]) - due);
    }
  }
  std::sort(lateness.begin(), lateness.end());
  // The device's own count; without it, what the board did not show.
  const std::size_t dropped = played.dropped.value_or(count - std::min<std::size_t>(count, shown));
  // Under -q the line still tells why a run that dropped frames failed.
  printSummary(options.quiet && dropped == 0, "play",
               "played " + counted(count, "frame") + ": " + std::to_string(shown) + " shown, " +
                   std::to_string(dropped) + " dropped; lateness p50 " +
                   std::to_string(percentile(lateness, 50)) + " us, p99 " +
                   std::to_string(percentile(lateness, 99)) + " us, max " +
                   std::to_string(percentile(lateness, 100)) + " us");
  return dropped == 0 ? 0 : 1;
}

const CommandRegistration registration{
    Command{"play", "a QVF clip played out through the output device",
            "usage: corvane-host play CLIP [--as 422|444|rgba] [--frames A:B] [--start-after N] [-q]\n\n"
            "Reads frames A to B-1 (default: all) of CLIP through the plug-in's file\n"
            "input and plays them through its output device: each frame goes into a\n"
            "device buffer in the chosen format (default 422) with presentation time\n"
            "n x the frame period; playback starts once N frames wait (default 10, at\n"
            "most 20, the device's buffers), then the command waits until the last\n"
            "frame is out and closes the device.\n\n"
            "Progress goes to stderr, then one summary line: frames queued, shown and\n"
            "dropped, and how late the frames went on air (p50, p99, max, in\n"
            "microseconds after their due time, counted from the start). The times\n"
            "come from the board's shown= list; without one in CORVANE_BOARD the\n"
            "command sets a temporary one. Dropped frames are those the device found\n"
            "no free board frame for, as the device counts them (read from the\n"
            "board's monitor; without one, the frames queued and not shown). Exit\n"
            "status 1 when a frame was dropped.\n\n"
            "  -q         no progress bar, and the summary line only when a frame\n"
            "             was dropped; warnings still show.\n\n"
            "Ctrl-C or SIGTERM stops the queueing: the frames already queued go out,\n"
            "the device closes, and one line says how many frames went out.",
            run}};

}  // namespace
}  // namespace corvane::host
