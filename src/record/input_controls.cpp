#include "record/input_controls.h"

#include "settings/config_store.h"
#include "settings/output_controls.h"

namespace corvane::record {
namespace {

using enum ColourKey;

constexpr std::array<ColourKeyInfo, kColourKeyCount> kKeys{{
    {"Contrast", "control.contrast", {44, 27, 28, 0}},
    {"Brightness", "control.brightness", {24, 21, 23, 0}},
    {"Saturation", "control.saturation", {-4, -7, 90, 0}},
    {"Hue", "control.hue", {0, 1, 0, 0}},
    {"UGain", "control.ugain", {-1, 3, 17, 0}},
    {"VGain", "control.vgain", {3, 3, 52, 0}},
    {"UOffset", "control.uoffset", {13, 14, -38, 0}},
    {"VOffset", "control.voffset", {12, 10, 3, 0}},
    {"AGC", "control.agc", {0, 0, 0, 0}},
    {"HYPK", "control.hypk", {0, 1, 1, 2}},
}};

// The decoder of each source: format, lumacomb, chromacomb, ctrap, tstcgn;
// the SDI input has only a format.
struct Decoder {
  std::int32_t format, lumacomb, chromacomb, ctrap, tstcgn;
  bool combFilters;
};
constexpr std::array<Decoder, kSourceCount> kDecoders{{
    {0, 10, 8, 0, 0, true},
    {10, 11, 12, 0, 0, true},
    {15, 11, 12, 0, 1, true},
    {1, 0, 0, 0, 0, false},
}};

}  // namespace

const ColourKeyInfo& colourKeyInfo(ColourKey key) { return kKeys[static_cast<std::size_t>(key)]; }

InputColourControls::InputColourControls() : Input(settings::ReadConfigInt("Input", 0)) {
  for (std::size_t k = 0; k + 1 < kColourKeyCount; ++k)
    for (std::size_t s = 0; s < kSourceCount; ++s) reals_[k][s].Set(kKeys[k].defaults[s], nullptr, false);
  for (std::size_t s = 0; s < kSourceCount; ++s)
    hypk_[s].Set(kKeys[static_cast<std::size_t>(HYPK)].defaults[s], nullptr, false);
}

tk::mFLT64& InputColourControls::real(ColourKey key, std::size_t source) {
  return reals_.at(static_cast<std::size_t>(key)).at(source);
}

double InputColourControls::value(ColourKey key, std::size_t source) {
  return key == HYPK ? static_cast<double>(hypk_.at(source).Get()) : real(key, source).Get();
}

std::int32_t InputColourControls::controlValue(ColourKey key, std::size_t source) {
  return key == HYPK ? hypk_.at(source).Get() : settings::truncateControl(real(key, source).Get());
}

void InputColourControls::set(ColourKey key, std::size_t source, double value) {
  if (key == HYPK)
    hypk_.at(source).Set(settings::truncateControl(value), nullptr, false);
  else
    real(key, source).Set(value, nullptr, false);
}

void InputSwitcher::setInteger(const char* name, std::int32_t value) {
  board_.SetInputControl(switcher_, 0, 0, name, engine::ControlType::Integer, &value);
}

void InputSwitcher::setSelector(const char* name, std::int32_t value) {
  board_.SetInputControl(switcher_, 0, 0, name, engine::ControlType::Selector, &value);
}

void InputSwitcher::SetInputSource(std::int32_t source, bool pedestal) {
  if (source >= 0 && static_cast<std::size_t>(source) < kSourceCount) {
    const Decoder& d = kDecoders[static_cast<std::size_t>(source)];
    setSelector("control.format", d.format);
    if (d.combFilters) {
      setSelector("control.lumacomb", d.lumacomb);
      setSelector("control.chromacomb", d.chromacomb);
      setSelector("control.ctrap", d.ctrap);
      setSelector("control.tstcgn", d.tstcgn);
    }
  }
  std::int32_t p = pedestal ? 1 : 0;
  board_.SetOutputControl(switcher_, 0, 0, "control.pedestal", engine::ControlType::Selector, &p);
  setSelector("control.pedestal", p);
}

void InputSwitcher::SetInputGains(std::int32_t uGain, std::int32_t vGain, std::int32_t uOffset,
                                  std::int32_t vOffset, std::int32_t agc, std::int32_t hypk) {
  setInteger("control.ugain", uGain);
  setInteger("control.vgain", vGain);
  setInteger("control.uoffset", uOffset);
  setInteger("control.voffset", vOffset);
  setInteger("control.agc", agc);
  setInteger("control.hypk", hypk);
}

void InputSwitcher::applyPicture(InputColourControls& c, std::size_t s) {
  SetInputContrast(c.controlValue(Contrast, s));
  SetInputBrightness(c.controlValue(Brightness, s));
  SetInputSaturation(c.controlValue(Saturation, s));
  SetInputHue(c.controlValue(Hue, s));
  SetInputGains(c.controlValue(UGain, s), c.controlValue(VGain, s), c.controlValue(UOffset, s),
                c.controlValue(VOffset, s), c.controlValue(AGC, s), c.controlValue(HYPK, s));
}

}  // namespace corvane::record
