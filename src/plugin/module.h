// The plug-in's process-wide state and its load and unload sequence.
//
// Loading builds the module in a fixed order: the video mode and start-up
// settings, the board's switcher, the output settings (pushed to the board),
// the input picture settings (loaded and applied), the open-file registry;
// then it installs the services seam through which the export shims reach
// all of these.
// Each step that needs a clean-up records it on the module's exit list;
// unloading runs that list last-recorded first.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/realtime_engine.h"
#include "engine/video_mode.h"
#include "exports/services.h"
#include "platform/clock.h"
#include "qvf/registry.h"
#include "record/input_controls.h"
#include "record/input_settings_store.h"
#include "settings/output_settings.h"
#include "sink/output_device.h"

namespace corvane::plugin {

inline constexpr const char* kBoardMissingMessage =
    "The Video Corvane board was not found, this could be because the device driver failed to load.";
inline constexpr const char* kBoardMissingCaption = "Error";

// What the module reaches the outside world through; tests replace each.
struct ModuleSeams {
  engine::RealtimeEngine& board;
  platform::Clock& clock;
  // Ends the process; must not return. Tests throw instead.
  std::function<void(int)> exitProcess;
  // The board's hand-back of input fields; none: the record device cannot open.
  engine::MediaBroker* broker = nullptr;
  // Told of each frame the output device dropped for want of a board frame.
  std::function<void()> playbackFrameDropped = {};
};

class Module {
 public:
  // Runs the load sequence. When the board cannot be opened it shows the
  // board-missing message, runs the clean-ups recorded so far and calls
  // seams.exitProcess(1).
  explicit Module(ModuleSeams seams);
  // Runs the exit list: the services go first, then every device the host
  // left open ends (record devices, the output device, their previews)
  // before the parts they use.
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  const VideoMode& videoMode() const { return mode_; }
  engine::RealtimeEngine& board() { return seams_.board; }
  engine::Handle switcher() const { return switcher_; }
  settings::StartupSettings& startup() { return *startup_; }
  settings::OutputSettings& output() { return *output_; }
  record::InputColourControls& input() { return *input_; }
  record::InputSettingsStore& inputStore() { return *inputStore_; }
  qvf::OpenFileRegistry& registry() { return *registry_; }
  sink::OutputDevice& outputDevice() { return *outputDevice_; }
  // What the export shims reach; installed for them once the load is done.
  exports::Services& services() { return *services_; }

 private:
  void loadStartupSettings();
  void openSwitcher();
  void loadOutputSettings();
  void loadInputSettings();
  void openRegistry();
  void makeOutputDevice();
  void installServices();
  void endRecordDevices() noexcept;
  void atExit(std::function<void()> routine) { exitList_.push_back(std::move(routine)); }
  void runExitList() noexcept;

  ModuleSeams seams_;
  VideoMode mode_;
  engine::Handle switcher_ = 0;
  std::unique_ptr<settings::StartupSettings> startup_;
  std::unique_ptr<settings::OutputSettings> output_;
  std::unique_ptr<record::InputColourControls> input_;
  std::unique_ptr<record::InputSettingsStore> inputStore_;
  std::unique_ptr<qvf::OpenFileRegistry> registry_;
  std::unique_ptr<sink::OutputDevice> outputDevice_;
  std::unique_ptr<exports::Services> services_;
  std::vector<std::function<void()>> exitList_;
};

}  // namespace corvane::plugin
