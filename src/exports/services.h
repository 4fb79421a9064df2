// The services seam: everything the export shims reach of the loaded plug-in.
// The module builds one Services at load, once every part it names exists,
// installs it here, and removes it before unload tears those parts down. The
// shims hold no state of their own beyond what is reached through it.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "engine/realtime_engine.h"
#include "engine/video_mode.h"
#include "exports/format_tables.h"
#include "platform/clock.h"
#include "preview/preview_process.h"
#include "qvf/registry.h"
#include "settings/output_settings.h"

namespace corvane::exports {

struct Services {
  Services(qvf::OpenFileRegistry& registry_, const VideoMode& mode_, engine::RealtimeEngine& board_,
           engine::Handle switcher_, settings::StartupSettings& startup_, settings::OutputSettings& output_,
           platform::Clock& clock_)
      : registry(registry_),
        mode(mode_),
        board(board_),
        switcher(switcher_),
        startup(startup_),
        output(output_),
        clock(clock_),
        formatTables(mode_) {}
  Services(const Services&) = delete;
  Services& operator=(const Services&) = delete;

  qvf::OpenFileRegistry& registry;
  const VideoMode mode;  // fixed at load
  engine::RealtimeEngine& board;
  const engine::Handle switcher;  // open from load to unload
  settings::StartupSettings& startup;
  settings::OutputSettings& output;
  platform::Clock& clock;
  // The format tables handed to the host; each is filled once and never rewritten.
  FormatTables formatTables;
  // Raised once the switcher is open; the output-device query lowers it.
  std::atomic<bool> inputPrepared{true};

  // The record device's process-wide state. The board's hand-back entry:
  // set by the module before the services are installed.
  engine::MediaBroker* broker = nullptr;
  std::atomic<bool> inputInUse{false};
  // Set when an open of the record device completes; never cleared.
  std::atomic<bool> recordDeviceWasOpened{false};
  // StopRecordingWhenFramesAreDropped: from the settings at load, then the
  // input dialog's; never written back.
  std::atomic<bool> stopRecordingWhenFramesAreDropped{false};
  // The input preview, shared by the record device and the input dialog.
  std::mutex inputPreviewLock;
  std::unique_ptr<preview::PreviewProcess> inputPreview;  // guarded by inputPreviewLock
  // The input picture variables (record::InputColourControls), owned by the
  // module from load to unload; untyped, as their code sits above this seam.
  void* inputControls = nullptr;
  // The output device's engine, from the output-device query to its close;
  // held without its type, since the device's code sits above this seam.
  // Whatever is left at unload ends with the services.
  std::mutex outputDeviceLock;
  std::shared_ptr<void> outputDevice;  // guarded by outputDeviceLock
  // The output device could not start: shows the text and ends the process.
  std::function<void(const std::string& text)> startupFailed;
};

// The installed services; throws std::logic_error while the plug-in is not
// loaded, which the export guard reports as "Unknown Internal Error".
Services& services();
// nullptr while the plug-in is not loaded.
Services* installedServices() noexcept;
// Called by the module on the loader's thread; nullptr removes them.
void installServices(Services* services) noexcept;

}  // namespace corvane::exports
