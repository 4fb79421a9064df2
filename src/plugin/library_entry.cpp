// The library's start-up and shutdown inside the host process, run by the
// system's entry point (platform/<backend>/entry/). Loading runs the module's
// load sequence once; then the entry runs its first-attach work. Unloading
// tears the module down, which runs its exit list in reverse.
#include "plugin/library_entry.h"

#include <functional>
#include <memory>
#include <string>

#include "board/virtual_board.h"
#include "exports/report_error.h"
#include "platform/clock.h"
#include "platform/display.h"
#include "platform/library_entry.h"
#include "platform/message.h"
#include "platform/process.h"
#include "plugin/module.h"
#include "plugin/refresh_warning.h"
#include "plugin/warning_dialog.h"
#include "preview/preview_process.h"
#include "qvf/writer.h"
#include "settings/config_store.h"

namespace corvane::plugin {
namespace {

struct Loaded {
  std::unique_ptr<board::VirtualBoard> board;
  std::unique_ptr<Module> module;
};

// Owned here, from the load of the library to its unload.
Loaded* loaded = nullptr;

// The board's output= file starts as the file engine starts every file it
// writes: two 4:2:2 streams of the standard's geometry and rate.
bool makeOutputFile(const std::string& path, board::VideoStandard standard) {
  const VideoMode mode = VideoMode::fromSetting(standard == board::VideoStandard::Pal ? 0 : 1);
  try {
    qvf::create(path.c_str(), 2, 0, static_cast<std::int32_t>(mode.frameWidth),
                static_cast<std::int32_t>(mode.linesPerField()), mode.outputRate);
    return true;
  } catch (const EngineError&) {
    return false;
  }
}

// The output device's drops go where a host outside can read them: the
// monitor, which lives as long as the plug-in is loaded.
std::function<void()> playbackDropReport(board::VirtualBoard& board) {
  board::MonitorWriter* monitor = board.monitor();
  if (monitor == nullptr) return {};
  return [monitor] { monitor->countPlaybackDrop(); };
}

}  // namespace

void loadLibrary() {
  // One read of the settings file for the whole load, one rewrite at its end.
  settings::ConfigBatch batch;
  auto state = std::make_unique<Loaded>();
  try {
    state->board = board::makeBoardFromEnvironment(makeOutputFile);
    preview::setPreviewMonitor(state->board->config().monitor);
    state->module =
        std::make_unique<Module>(ModuleSeams{*state->board, platform::systemClock(),
                                             [](int code) {
                                               settings::commitConfigBatch();
                                               platform::exitProcess(code);
                                             },
                                             state->board.get(), playbackDropReport(*state->board)});
    state->board->setLoadedStandard(state->module->videoMode().isNtsc != 0 ? board::VideoStandard::Ntsc
                                                                           : board::VideoStandard::Pal);
  } catch (...) {
    // Nothing may escape into the host's loader. Without a module every
    // export that needs one fails through its guard or its checks.
    platform::showMessageBox("Error", exports::kUnknownInternalError);
    return;
  }
  loaded = state.release();
  libraryEntry(EntryReason::ProcessAttach, [] {
    runRefreshCheck(loaded->module->videoMode().outputRate,
                    RefreshCheckSeams{platform::displayRefreshRate, showWarningDialog});
  });
}

void unloadLibrary() {
  if (loaded == nullptr) return;
  // The saves of the exit list become one rewrite of the settings file.
  settings::ConfigBatch batch;
  libraryEntry(EntryReason::ProcessDetach, [] {});
  loaded->module.reset();
  delete loaded;
  loaded = nullptr;
}

}  // namespace corvane::plugin

namespace corvane::platform {

void onLibraryLoad() { plugin::loadLibrary(); }

void onLibraryUnload() { plugin::unloadLibrary(); }

}  // namespace corvane::platform
