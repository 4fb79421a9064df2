#include "sink/output_settings_dialog.h"

#include <array>
#include <memory>

#include "exports/report_error.h"
#include "settings/config_store.h"
#include "settings/output_controls.h"

namespace corvane::sink {
namespace {

constexpr std::int32_t kPedestalBoxId = 1004;
constexpr std::int32_t kNoFrameDropBoxId = 1005;
constexpr std::int32_t kPreviewBoxId = 1006;
constexpr std::int32_t kNtscId = 1007;
constexpr std::int32_t kPalId = 1008;
constexpr std::int32_t kComponentId = 1012;
constexpr std::int32_t kYcId = 1013;
constexpr std::int32_t kPhaseSliderId = 1016;
constexpr std::int32_t kPhaseEditId = 1017;
constexpr std::int32_t kFirstFilterId = 1018;
constexpr std::int32_t kFilterCount = 4;
constexpr std::uint32_t kSourceSettleMs = 100;
constexpr const char* kPreviewKey = "VeltrixScryOut";
constexpr const char* kNoFrameDropKey = "ForceNoFrameDrop";

using tk::ControlKind;
constexpr std::array<tk::ControlTemplate, 23> kControls{{
    {tk::kNoControlId, ControlKind::GroupBox, {5, 3, 295, 92}, "Output Controls"},
    {tk::kNoControlId,
     ControlKind::StaticText,
     {25, 14, 198, 8},
     "Source (Note : Composite and SDI are always enabled.)"},
    {kComponentId, ControlKind::RadioButton, {35, 23, 89, 10}, "Component"},
    {kYcId, ControlKind::RadioButton, {35, 33, 28, 10}, "Y/C"},
    {tk::kNoControlId, ControlKind::StaticText, {25, 46, 34, 8}, "Playback"},
    {kNoFrameDropBoxId,
     ControlKind::CheckBox,
     {35, 56, 153, 10},
     "Force no frames to be dropped on playback"},
    {tk::kNoControlId, ControlKind::StaticText, {25, 70, 34, 8}, "Preview"},
    {kPreviewBoxId, ControlKind::CheckBox, {35, 80, 153, 10}, "Show On Screen Preview"},
    {tk::kNoControlId, ControlKind::GroupBox, {5, 95, 295, 66}, "Output Format"},
    {kNtscId, ControlKind::RadioButton, {35, 107, 35, 10}, "NTSC"},
    {kPalId, ControlKind::RadioButton, {35, 117, 29, 10}, "PAL"},
    {kPedestalBoxId,
     ControlKind::CheckBox,
     {10, 132, 232, 10},
     "Remove NTSC Pedestal (Japanese NTSC Support)"},
    {tk::kNoControlId,
     ControlKind::StaticText,
     {10, 146, 259, 8},
     "Note : You must restart Veltrix for these settings to come into effect."},
    {tk::kNoControlId, ControlKind::GroupBox, {5, 161, 295, 49}, "Output Parameters"},
    {tk::kNoControlId, ControlKind::StaticText, {10, 176, 32, 8}, "SC Phase"},
    {kPhaseSliderId, ControlKind::Placeholder, {45, 175, 220, 10}, ""},
    {kPhaseEditId, ControlKind::Placeholder, {267, 175, 28, 10}, ""},
    {tk::kNoControlId, ControlKind::StaticText, {10, 191, 16, 8}, "Filter"},
    {kFirstFilterId, ControlKind::PushLikeCheckBox, {45, 191, 55, 12}, "0"},
    {kFirstFilterId + 1, ControlKind::PushLikeCheckBox, {100, 191, 55, 12}, "1"},
    {kFirstFilterId + 2, ControlKind::PushLikeCheckBox, {155, 191, 55, 12}, "2"},
    {kFirstFilterId + 3, ControlKind::PushLikeCheckBox, {210, 191, 55, 12}, "3"},
    {tk::kCommandCancel, ControlKind::DefaultPushButton, {250, 215, 50, 14}, "Close"},
}};

constexpr tk::DialogTemplate kTemplate{kOutputDialogId, "Output Settings", {0, 0, 307, 233}, kControls};

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

const tk::DialogTemplate& outputDialogTemplate() { return kTemplate; }

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
  tk::runModalDialog(kTemplate, procedure);
}

}  // namespace corvane::sink
