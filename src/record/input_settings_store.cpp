#include "record/input_settings_store.h"

#include <string>

#include "settings/config_store.h"

namespace corvane::record {
namespace {

using enum ColourKey;

constexpr std::array<ColourKey, kColourKeyCount> kLoadOrder{HYPK,  Hue,   Saturation, Contrast, Brightness,
                                                            UGain, VGain, AGC,        UOffset,  VOffset};
constexpr std::array<ColourKey, kColourKeyCount> kSaveOrder{Hue,   HYPK,  Saturation, Contrast, Brightness,
                                                            UGain, VGain, UOffset,    VOffset,  AGC};

std::string keyName(ColourKey key, std::size_t source) {
  return std::string(colourKeyInfo(key).keyBase) + std::string(kSourceSuffixes[source]);
}

}  // namespace

void loadInputSettings(InputColourControls& controls) {
  for (ColourKey key : kLoadOrder)
    for (std::size_t s = 0; s < kSourceCount; ++s) {
      const std::int32_t value = settings::ReadConfigInt(keyName(key, s), colourKeyInfo(key).defaults[s]);
      // The change protocol itself does nothing for an equal value.
      controls.set(key, s, value);
    }
}

InputSettingsStore::InputSettingsStore(InputColourControls& controls, InputSwitcher board,
                                       platform::Clock& clock)
    : controls_(controls), board_(board), clock_(clock) {}

void InputSettingsStore::applySource(bool pedestal) {
  const std::int32_t source = controls_.Input.Get();
  board_.SetInputSource(source, pedestal);
  clock_.sleepMilliseconds(100);
  // An out-of-range source from the file has no picture values to send.
  if (source >= 0 && static_cast<std::size_t>(source) < kSourceCount)
    board_.applyPicture(controls_, static_cast<std::size_t>(source));
}

void InputSettingsStore::save() {
  for (ColourKey key : kSaveOrder)
    for (std::size_t s = 0; s < kSourceCount; ++s)
      settings::WriteConfigInt(keyName(key, s), controls_.controlValue(key, s));
  settings::WriteConfigInt("Input", controls_.Input.Get());
}

}  // namespace corvane::record
