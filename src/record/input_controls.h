// The picture adjustments of the board's video input, one set per input
// source, as observable variables that the input dialog binds to; and the
// switcher operations that send them to the board.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "engine/realtime_engine.h"
#include "engine/toolkit.h"

namespace corvane::record {

inline constexpr std::size_t kSourceCount = 4;  // Composite, Y/C, Component, SDI
inline constexpr std::array<std::string_view, kSourceCount> kSourceSuffixes{"_Composite", "_YC", "_Component",
                                                                            "_SDI"};

enum class ColourKey : std::uint8_t {
  Contrast,
  Brightness,
  Saturation,
  Hue,
  UGain,
  VGain,
  UOffset,
  VOffset,
  AGC,
  HYPK
};
inline constexpr std::size_t kColourKeyCount = 10;

struct ColourKeyInfo {
  std::string_view keyBase;  // the INI key is keyBase + the source's suffix
  const char* control;       // the board's control name
  std::array<std::int32_t, kSourceCount> defaults;
};
const ColourKeyInfo& colourKeyInfo(ColourKey key);

// The 41 variables: Input and ten per-source arrays. HYPK is an integer, the
// others doubles. Each variable guards itself.
class InputColourControls {
 public:
  // Input is read from the settings file; the per-source values start at
  // their defaults until InputSettingsStore loads them.
  InputColourControls();

  tk::mINT32 Input;
  tk::mFLT64& real(ColourKey key, std::size_t source);  // every key but HYPK
  tk::mINT32& hypk(std::size_t source) { return hypk_.at(source); }

  // The value as a double, whichever variable type holds it.
  double value(ColourKey key, std::size_t source);
  // The value as the board and the file get it: doubles truncated toward zero.
  std::int32_t controlValue(ColourKey key, std::size_t source);
  // Sets through the change protocol with no sender, sending.
  void set(ColourKey key, std::size_t source, double value);

 private:
  std::array<std::array<tk::mFLT64, kSourceCount>, kColourKeyCount - 1> reals_;
  std::array<tk::mINT32, kSourceCount> hypk_;
};

// The switcher operations of the input side.
class InputSwitcher {
 public:
  InputSwitcher(engine::RealtimeEngine& board, engine::Handle switcher)
      : board_(board), switcher_(switcher) {}

  // The source's decoder settings, then the pedestal on the output and the
  // input side. A source above 3 sets no decoder control.
  void SetInputSource(std::int32_t source, bool pedestal);
  void SetInputContrast(std::int32_t value) { setInteger("control.contrast", value); }
  void SetInputBrightness(std::int32_t value) { setInteger("control.brightness", value); }
  void SetInputSaturation(std::int32_t value) { setInteger("control.saturation", value); }
  void SetInputHue(std::int32_t value) { setInteger("control.hue", value); }
  void SetInputGains(std::int32_t uGain, std::int32_t vGain, std::int32_t uOffset, std::int32_t vOffset,
                     std::int32_t agc, std::int32_t hypk);

  // Contrast, brightness, saturation, hue, then the gains of one source.
  void applyPicture(InputColourControls& controls, std::size_t source);

 private:
  void setInteger(const char* name, std::int32_t value);
  void setSelector(const char* name, std::int32_t value);
  engine::RealtimeEngine& board_;
  engine::Handle switcher_;
};

}  // namespace corvane::record
