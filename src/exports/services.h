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
#include "exports/handle_table.h"
#include "platform/clock.h"
#include "preview/preview_process.h"
#include "qvf/registry.h"
#include "settings/output_settings.h"

// The devices sit above this seam (their code uses it), so they are named
// here by declaration only; the module, which sits above both, owns them.
namespace corvane::sink {
class OutputDevice;
}
namespace corvane::record {
class RecordDevice;
class InputColourControls;
}  // namespace corvane::record

namespace corvane::exports {

struct Services {
  Services(qvf::OpenFileRegistry& registry_, const VideoMode& mode_, engine::RealtimeEngine& board_,
           engine::Handle switcher_, settings::StartupSettings& startup_, settings::OutputSettings& output_,
           platform::Clock& clock_, record::InputColourControls& inputControls_,
           sink::OutputDevice& outputDevice_)
      : registry(registry_),
        mode(mode_),
        board(board_),
        switcher(switcher_),
        startup(startup_),
        output(output_),
        clock(clock_),
        inputControls(inputControls_),
        outputDevice(outputDevice_),
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
  // The input picture variables, owned by the module from load to unload.
  record::InputColourControls& inputControls;
  // The output device, owned by the module from load to unload.
  sink::OutputDevice& outputDevice;
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
  // The record devices the host has open; the module closes those left at
  // unload.
  HandleTable<record::RecordDevice> recordDevices;
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
