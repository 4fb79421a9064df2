#include "plugin/module.h"

#include <cstdio>
#include <stdexcept>

#include "platform/message.h"
#include "plugin/warning_dialog.h"
#include "record/record_device.h"
#include "settings/output_controls.h"

namespace corvane::plugin {
Module::Module(ModuleSeams seams) : seams_(std::move(seams)) {
  try {
    loadStartupSettings();
    openSwitcher();
    loadOutputSettings();
    loadInputSettings();
    openRegistry();
    makeOutputDevice();
    installServices();
  } catch (...) {
    // A step that fails part-way still undoes the ones before it: the switcher
    // is closed and the settings read so far are saved.
    runExitList();
    throw;
  }
}

Module::~Module() { runExitList(); }

void Module::runExitList() noexcept {
  while (!exitList_.empty()) {
    auto routine = std::move(exitList_.back());
    exitList_.pop_back();
    try {
      routine();
    } catch (...) {
      // One failed clean-up (a file that will not close) must not stop the
      // others: the settings still have to reach the file.
    }
  }
}

void Module::loadStartupSettings() {
  mode_ = settings::loadVideoModeGeometry();
  startup_ = std::make_unique<settings::StartupSettings>();
  atExit([this] { startup_.reset(); });
  settings::loadVideoModeRate(mode_);
}

void Module::openSwitcher() {
  char name[1024];
  std::snprintf(name, sizeof name, "%s%d", "apps.Veltrix.Switcher",
                static_cast<std::int32_t>(seams_.clock.tickCount()));
  switcher_ = seams_.board.OpenSwitcher(name);
  if (switcher_ == 0) switcher_ = seams_.board.OpenSwitcher(name);
  if (switcher_ == 0) {
    platform::showMessageBox(kBoardMissingCaption, kBoardMissingMessage);
    runExitList();
    seams_.exitProcess(1);
    throw std::logic_error("the process did not end after the board was found missing");
  }
  atExit([this] { seams_.board.CloseSwitcher(switcher_); });
}

void Module::loadOutputSettings() {
  output_ = std::make_unique<settings::OutputSettings>();
  settings::PushOutputControls(seams_.board, switcher_, *output_);
  atExit([this] {
    output_->save();
    output_.reset();
  });
}

void Module::loadInputSettings() {
  input_ = std::make_unique<record::InputColourControls>();
  record::loadInputSettings(*input_);
  inputStore_ = std::make_unique<record::InputSettingsStore>(
      *input_, record::InputSwitcher(seams_.board, switcher_), seams_.clock);
  inputStore_->applySource(output_->Pedestal.Get() != 0);
  atExit([this] {
    inputStore_->save();
    inputStore_.reset();
    input_.reset();
  });
}

void Module::openRegistry() {
  registry_ = std::make_unique<qvf::OpenFileRegistry>();
  atExit([this] { registry_.reset(); });
}

void Module::makeOutputDevice() {
  outputDevice_ = std::make_unique<sink::OutputDevice>(
      sink::OutputDeviceSeams{seams_.board, seams_.clock, mode_, seams_.playbackFrameDropped});
  // Its handles, its engine and the buffers the host held end here.
  atExit([this] { outputDevice_.reset(); });
}

void Module::endRecordDevices() noexcept {
  for (const std::shared_ptr<record::RecordDevice>& device : services_->recordDevices.removeAll()) {
    device->close();
  }
}

void Module::installServices() {
  services_ = std::make_unique<exports::Services>(*registry_, mode_, seams_.board, switcher_, *startup_,
                                                  *output_, seams_.clock, *input_, *outputDevice_);
  services_->broker = seams_.broker;
  services_->stopRecordingWhenFramesAreDropped.store(startup_->StopRecordingWhenFramesAreDropped != 0);
  services_->startupFailed = [this](const std::string& text) {
    showWarningDialog(text);
    seams_.exitProcess(1);
  };
  exports::installServices(services_.get());
  // Removed first at unload: no shim may reach a part that is going. The
  // record devices the host left open end before the registry their files
  // are in, and the input preview with the services.
  atExit([this] {
    exports::installServices(nullptr);
    endRecordDevices();
    services_.reset();
  });
}

}  // namespace corvane::plugin
