// ScryOut and ScryIn: the board's output and input on the screen. Built twice
// from this source, once per channel. Started by the plug-in with no
// arguments; everything they need comes from the environment: the monitor's
// name from CORVANE_MONITOR (or, started by hand, CORVANE_BOARD), and
// CORVANE_PREVIEW_DIR for a PNG of the latest frame. They show a window
// wherever there is a display. Closing the window, or SIGTERM where there is
// no window to close, is the close request.
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "board/board_config.h"
#include "board/monitor_reader.h"
#include "frame_picture.h"
#include "platform/clock.h"
#include "platform/environment.h"
#include "platform/file_status.h"
#include "platform/message.h"
#include "platform/picture_window.h"
#include "png_writer.h"

#ifndef CORVANE_SCRY_INPUT
#error "build with CORVANE_SCRY_INPUT=0 (ScryOut) or 1 (ScryIn)"
#endif

namespace corvane::scry {
namespace {

constexpr bool kInput = CORVANE_SCRY_INPUT != 0;
constexpr board::MonitorChannel kChannel =
    kInput ? board::MonitorChannel::Input : board::MonitorChannel::Output;
constexpr const char* kName = kInput ? "ScryIn" : "ScryOut";

constexpr std::uint32_t kPollMs = 10;
// While no board runs, look for one this often.
constexpr std::uint32_t kRetryOpenMs = 100;
// How often to check that the host still runs and that the board behind the
// mapping is still the current one.
constexpr std::uint64_t kRecheckUs = 1'000'000;
// A PNG is rewritten at most this often; the last frame always gets written.
constexpr std::uint64_t kPngIntervalUs = 200'000;

std::atomic<bool> stopRequested{false};

extern "C" void onTerminate(int) { stopRequested.store(true, std::memory_order_relaxed); }

// The plug-in names its own monitor for the previews it starts.
std::string monitorName() {
  if (auto named = platform::environmentValue("CORVANE_MONITOR"); named && !named->empty()) return *named;
  return board::parseBoardConfig(platform::environmentValue("CORVANE_BOARD").value_or("")).monitor;
}

int run() {
  std::signal(SIGTERM, onTerminate);
  // A host that ends without stopping its preview (killed, or crashed) takes
  // it along: the preview sees itself handed to another parent.
  const int host = platform::parentProcessId();
  platform::Clock& clock = platform::systemClock();
  const std::string name = monitorName();
  if (name.empty()) {
    platform::writeErrorLine(std::string(kName) +
                             ": no monitor named (CORVANE_MONITOR or the monitor key of CORVANE_BOARD); "
                             "showing black");
  }
  std::unique_ptr<platform::PictureWindow> window = platform::PictureWindow::open(kName);
  const auto previewDir = platform::environmentValue("CORVANE_PREVIEW_DIR");
  const std::string pngPath = previewDir && !previewDir->empty() ? *previewDir + "/" + kName + ".png" : "";

  std::unique_ptr<board::MonitorReader> reader;
  board::MonitorFrame frame;
  Picture picture;
  bool pngDue = false;
  std::uint64_t lastPngUs = 0, lastRecheckUs = clock.microseconds();
  while (!stopRequested.load(std::memory_order_relaxed)) {
    const std::uint64_t now = clock.microseconds();
    // The host and the board are asked after now and then, not every poll:
    // on some systems finding the parent walks every process.
    const bool recheck = now - lastRecheckUs >= kRecheckUs;
    if (recheck) {
      lastRecheckUs = now;
      if (platform::parentProcessId() != host) return 0;
    }
    if (window && !window->pump(0)) return 0;
    if (!reader) {
      reader = board::MonitorReader::open(name);
      frame = {};
      if (!reader) {
        // A window stays responsive while there is no board to show.
        if (window && !window->pump(static_cast<int>(kRetryOpenMs))) return 0;
        if (!window) clock.sleepMilliseconds(kRetryOpenMs);
        continue;
      }
    }
    const board::MonitorRead read = reader->readLatest(kChannel, frame);
    if (read == board::MonitorRead::Gone || (recheck && reader->gone())) {
      reader.reset();
      continue;
    }
    if (read == board::MonitorRead::NewFrame) {
      decodeFrame(frame, picture);
      if (window) window->show(picture.view());
      pngDue = !pngPath.empty();
    }
    if (pngDue && now - lastPngUs >= kPngIntervalUs) {
      // A failed write is tried again with the next frame or interval.
      if (writePng(picture, pngPath)) pngDue = false;
      lastPngUs = now;
    }
    if (window) {
      if (!window->pump(static_cast<int>(kPollMs))) return 0;
    } else {
      clock.sleepMilliseconds(kPollMs);
    }
  }
  return 0;
}

}  // namespace
}  // namespace corvane::scry

int main() { return corvane::scry::run(); }
