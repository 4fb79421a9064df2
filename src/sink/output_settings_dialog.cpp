#include "sink/output_settings_dialog.h"

#include <array>
#include <memory>

#include "exports/report_error.h"
#include "settings/config_store.h"
#include "settings/output_controls.h"

namespace corvane::sink {
namespace {

constexpr std::uint32_t kSourceSettleMs = 100;
constexpr const char* kPreviewKey = "VeltrixScryOut";
constexpr const char* kNoFrameDropKey = "ForceNoFrameDrop";

// The latest slider and number box; each opening replaces them. Their windows
// end with the dialog, so they are unbound long before these go at unload.
struct PhaseControls {
  std::unique_ptr<tk::TKSlider> slider;
  std::unique_ptr<tk::TKFLT64Edit> edit;
};
PhaseControls& phaseControls() {
  static PhaseControls controls;
  return controls;
}

}  // namespace

const tk::DialogTemplate& outputDialogTemplate() { return kOutputDialogTemplate; }

void OutputSettingsProcedure::forEachVariable(tk::DialogWindow& window, bool add) {
  settings::OutputSettings& output = services_.output;
  tk::TKmsg* const variables[] = {&output.VideoMode,
                                  &output.Output,
                                  &output.Pedestal,
                                  &output.OutputFilter,
                                  &services_.startup.ForceNoFrameDrop,
                                  &output.SCPhase};
  for (tk::TKmsg* variable : variables) {
    if (add) {
      variable->AddDependant(&window);
    } else {
      variable->DeleteDependant(&window);
    }
  }
}

void OutputSettingsProcedure::tickFilter(tk::DialogWindow& window) {
  for (std::int32_t k = 0; k < kFilterCount; ++k) {
    window.setChecked(kFirstFilterId + k, services_.output.OutputFilter.Get() == k);
  }
}

void OutputSettingsProcedure::refresh(tk::DialogWindow& window) {
  settings::OutputSettings& output = services_.output;
  window.setChecked(kNtscId, output.VideoMode.Get() == 1);
  window.setChecked(kPalId, output.VideoMode.Get() == 0);
  window.setChecked(kComponentId, output.Output.Get() == 0);
  window.setChecked(kYcId, output.Output.Get() == 1);
  window.setChecked(kPedestalBoxId, output.Pedestal.Get() == 0);
  window.setChecked(kNoFrameDropBoxId, services_.startup.ForceNoFrameDrop.Get() != 0);
  settings::PushOutputControls(services_.board, services_.switcher, output);
  tickFilter(window);
}

void OutputSettingsProcedure::onOpen(tk::DialogWindow& window) {
  exports::reportError(kSinkCallbackCaption, [&] {
    forEachVariable(window, true);
    settings::OutputSettings& output = services_.output;
    PhaseControls& controls = phaseControls();

    const tk::DialogRect slider = window.itemRect(kPhaseSliderId);
    controls.slider = std::make_unique<tk::TKSlider>();
    controls.slider->OpenControl(&window, static_cast<std::uint32_t>(slider.x),
                                 static_cast<std::uint32_t>(slider.y), static_cast<float>(slider.width),
                                 static_cast<float>(slider.height), 0, &output.SCPhase, &output.SliderLow,
                                 &output.SliderHigh, &output.SliderScale, &output.SliderOrigin, nullptr);

    const tk::DialogRect edit = window.itemRect(kPhaseEditId);
    controls.edit = std::make_unique<tk::TKFLT64Edit>();
    controls.edit->OpenControl(&window, static_cast<std::uint32_t>(edit.x),
                               static_cast<std::uint32_t>(edit.y), static_cast<float>(edit.width),
                               static_cast<float>(edit.height), &output.SCPhase);

    if (settings::ReadConfigInt(kPreviewKey, 1) != 0) window.setChecked(kPreviewBoxId, true);
    refresh(window);
    return 0;
  });
}

void OutputSettingsProcedure::switchSource(std::int32_t output, std::int32_t format) {
  settings::pushFormatFilterPedestal(services_.board, services_.switcher, services_.output, format);
  services_.clock.sleepMilliseconds(kSourceSettleMs);
  services_.output.Output.Set(output, nullptr, false);
}

void OutputSettingsProcedure::onCommand(tk::DialogWindow& window, std::int32_t id) {
  exports::reportError(kSinkCallbackCaption, [&] {
    settings::OutputSettings& output = services_.output;
    switch (id) {
      case tk::kCommandCancel:
        forEachVariable(window, false);
        window.endDialog(0);
        break;
      case kComponentId:
        switchSource(0, 1);
        break;
      case kYcId:
        switchSource(1, 0);
        break;
      case kNoFrameDropBoxId: {
        tk::mINT32& noDrop = services_.startup.ForceNoFrameDrop;
        noDrop.Set(window.isChecked(kNoFrameDropBoxId) ? 1 : 0, nullptr, false);
        settings::WriteConfigInt(kNoFrameDropKey, noDrop.Get());
        break;
      }
      case kPreviewBoxId:
        settings::WriteConfigInt(kPreviewKey, window.isChecked(kPreviewBoxId) ? 1 : 0);
        break;
      case kNtscId:
        output.VideoMode.Set(1, nullptr, false);
        break;
      case kPalId:
        output.VideoMode.Set(0, nullptr, false);
        break;
      case kPedestalBoxId:
        output.Pedestal.Set(output.Pedestal.Get() == 0 ? 1 : 0, nullptr, false);
        break;
      default:
        if (id >= kFirstFilterId && id < kFirstFilterId + kFilterCount) {
          output.OutputFilter.Set(id - kFirstFilterId, nullptr, false);
          tickFilter(window);
        }
        break;
    }
    return 0;
  });
}

void OutputSettingsProcedure::onChanged(tk::DialogWindow& window) {
  exports::reportError(kSinkCallbackCaption, [&] {
    refresh(window);
    return 0;
  });
}

void showOutputSettingsDialog(exports::Services& services) {
  OutputSettingsProcedure procedure(services);
  tk::runModalDialog(kOutputDialogTemplate, procedure);
}

}  // namespace corvane::sink
