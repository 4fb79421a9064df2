// Loads the input picture settings from the settings file and applies the
// selected source's to the board when the plug-in loads; saves all 41 keys
// when it unloads.
#pragma once

#include "platform/clock.h"
#include "record/input_controls.h"

namespace corvane::record {

class InputSettingsStore {
 public:
  InputSettingsStore(InputColourControls& controls, InputSwitcher board, platform::Clock& clock);

  // Every per-source key, then "Input"; changed or not.
  void save();

  InputColourControls& controls() { return controls_; }
  InputSwitcher& board() { return board_; }

  // Selects the current source on the board: decoder and pedestal, a pause
  // for the decoder to settle, then the source's picture values.
  void applySource(bool pedestal);

 private:
  InputColourControls& controls_;
  InputSwitcher board_;
  platform::Clock& clock_;
};

// Reads every per-source key (writing back missing defaults) into controls.
void loadInputSettings(InputColourControls& controls);

}  // namespace corvane::record
