#include "record/input_settings_dialog.h"

#include <array>
#include <memory>
#include <mutex>
#include <new>

#include "exports/report_error.h"
#include "preview/preview_process.h"
#include "settings/config_store.h"

namespace corvane::record {
namespace {

constexpr std::uint32_t kSourceSettleMs = 100;
constexpr std::uint32_t kPrepareInputCommand = 0x814;
constexpr const char* kPreviewKey = "VeltrixScryIn";

struct PictureRow {
  std::int32_t sliderId;
  std::int32_t editId;
  ColourKey key;
};
constexpr std::array<PictureRow, 8> kRows{{
    {1001, 1017, ColourKey::Contrast},
    {1002, 1022, ColourKey::Brightness},
    {1003, 1023, ColourKey::Saturation},
    {1006, 1024, ColourKey::Hue},
    {1012, 1026, ColourKey::UGain},
    {1013, 1027, ColourKey::VGain},
    {1011, 1028, ColourKey::UOffset},
    {1015, 1029, ColourKey::VOffset},
}};

// The latest sliders and number boxes; each opening replaces them. Their
// windows end with the dialog, so they are unbound long before these go.
struct RowControls {
  std::array<std::unique_ptr<tk::TKSlider>, kRows.size()> sliders;
  std::array<std::unique_ptr<tk::TKFLT64Edit>, kRows.size()> edits;
};
RowControls& rowControls() {
  static RowControls controls;
  return controls;
}

// HYPK is the one whole-number key: no row shows it.
tk::TKmsg& variableOf(InputColourControls& controls, ColourKey key, std::size_t source) {
  if (key == ColourKey::HYPK) return controls.hypk(source);
  return controls.real(key, source);
}

}  // namespace

const tk::DialogTemplate& inputDialogTemplate() { return kInputDialogTemplate; }

InputSettingsProcedure::InputSettingsProcedure(exports::Services& services, InputColourControls& controls)
    : services_(services), controls_(controls), board_(services.board, services.switcher) {}

bool InputSettingsProcedure::pedestal() { return services_.output.Pedestal.Get() != 0; }

void InputSettingsProcedure::forEachVariable(tk::DialogWindow& window, bool add) {
  for (std::size_t k = 0; k < kColourKeyCount; ++k) {
    for (std::size_t s = 0; s < kSourceCount; ++s) {
      tk::TKmsg& variable = variableOf(controls_, static_cast<ColourKey>(k), s);
      if (add) {
        variable.AddDependant(&window);
      } else {
        variable.DeleteDependant(&window);
      }
    }
  }
  if (add) {
    controls_.Input.AddDependant(&window);
  } else {
    controls_.Input.DeleteDependant(&window);
  }
}

void InputSettingsProcedure::stopPreview() {
  std::lock_guard guard(services_.inputPreviewLock);
  if (!services_.inputPreview) return;
  services_.inputPreview->stop();
  services_.inputPreview.reset();
}

// A record that cannot be had leaves the preview off; a program that cannot
// be started is the caller's failure.
void InputSettingsProcedure::startPreview() {
  std::lock_guard guard(services_.inputPreviewLock);
  if (services_.inputPreview) return;
  try {
    services_.inputPreview = preview::PreviewProcess::launch(preview::kScryIn);
  } catch (const std::bad_alloc&) {
    services_.inputPreview.reset();
  }
}

void InputSettingsProcedure::showSource(tk::DialogWindow& window) {
  std::int32_t input = controls_.Input.Get();
  if (input < 0 || input >= static_cast<std::int32_t>(kSourceCount)) {
    // A hand-edited file may name a source the board does not have: the
    // dialog shows Composite, and Composite is then the source.
    input = 0;
    controls_.Input.Set(input, nullptr, false);
  }
  board_.SetInputSource(input, pedestal());
  const auto s = static_cast<std::size_t>(input);
  RowControls& rows = rowControls();
  for (std::size_t r = 0; r < kRows.size(); ++r) {
    tk::mFLT64& variable = controls_.real(kRows[r].key, s);
    rows.sliders[r]->ChangeVariable(&variable);
    rows.edits[r]->ChangeVariable(&variable);
  }
  board_.applyPicture(controls_, s);
  for (std::int32_t n = 0; n < static_cast<std::int32_t>(kSourceCount); ++n) {
    window.setChecked(kFirstSourceId + n, n == input);
  }
}

void InputSettingsProcedure::onOpen(tk::DialogWindow& window) {
  exports::reportError(kRecordCallbackCaption, [&] {
    RowControls& rows = rowControls();
    for (std::size_t r = 0; r < kRows.size(); ++r) {
      tk::mFLT64& composite = controls_.real(kRows[r].key, 0);
      const tk::DialogRect slider = window.itemRect(kRows[r].sliderId);
      rows.sliders[r] = std::make_unique<tk::TKSlider>();
      rows.sliders[r]->OpenControl(&window, static_cast<std::uint32_t>(slider.x),
                                   static_cast<std::uint32_t>(slider.y), static_cast<float>(slider.width),
                                   static_cast<float>(slider.height), 0, &composite,
                                   &services_.output.SliderLow, &services_.output.SliderHigh,
                                   &services_.output.SliderScale, &services_.output.SliderOrigin, nullptr);
      const tk::DialogRect edit = window.itemRect(kRows[r].editId);
      rows.edits[r] = std::make_unique<tk::TKFLT64Edit>();
      rows.edits[r]->OpenControl(&window, static_cast<std::uint32_t>(edit.x),
                                 static_cast<std::uint32_t>(edit.y), static_cast<float>(edit.width),
                                 static_cast<float>(edit.height), &composite);
    }
    forEachVariable(window, true);

    if (!services_.inputInUse.load()) {
      if (!services_.inputPrepared.load()) {
        const std::array<std::uint8_t, 16> zeros{};
        services_.board.SwitcherCommand(services_.switcher, kPrepareInputCommand, zeros.data());
      }
      services_.inputPrepared.store(true);
      services_.inputInUse.store(true);
    }
    if (services_.stopRecordingWhenFramesAreDropped.load()) window.setChecked(kStopOnDropBoxId, true);
    const bool previewWanted = settings::ReadConfigInt(kPreviewKey, 1) != 0;
    window.setChecked(kPreviewBoxId, previewWanted);
    if (previewWanted) {
      startPreview();
    } else {
      stopPreview();
    }
    showSource(window);
    return 0;
  });
}

void InputSettingsProcedure::selectSource(std::int32_t source) {
  board_.SetInputSource(source, pedestal());
  services_.clock.sleepMilliseconds(kSourceSettleMs);
  if (controls_.Input.Get() != source) controls_.Input.Set(source, nullptr, false);
}

void InputSettingsProcedure::close(tk::DialogWindow& window) {
  forEachVariable(window, false);
  services_.stopRecordingWhenFramesAreDropped.store(window.isChecked(kStopOnDropBoxId));
  if (!services_.recordDeviceWasOpened.load()) stopPreview();
  window.endDialog(0);
}

void InputSettingsProcedure::onCommand(tk::DialogWindow& window, std::int32_t id) {
  exports::reportError(kRecordCallbackCaption, [&] {
    if (id >= kFirstSourceId && id < kFirstSourceId + static_cast<std::int32_t>(kSourceCount)) {
      selectSource(id - kFirstSourceId);
    } else if (id == kPreviewBoxId) {
      const bool wanted = window.isChecked(kPreviewBoxId);
      stopPreview();
      settings::WriteConfigInt(kPreviewKey, wanted ? 1 : 0);
      if (wanted) startPreview();
    } else if (id == tk::kCommandCancel) {
      close(window);
    }
    return 0;
  });
}

void InputSettingsProcedure::onChanged(tk::DialogWindow& window) {
  exports::reportError(kRecordCallbackCaption, [&] {
    showSource(window);
    return 0;
  });
}

void showInputSettingsDialog(exports::Services& services) {
  InputSettingsProcedure procedure(services, services.inputControls);
  tk::runModalDialog(kInputDialogTemplate, procedure);
}

}  // namespace corvane::record
