#include "host/settings_keys.h"

#include <array>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <optional>

#include "host/command.h"

namespace corvane::host {
namespace {

struct KeyRule {
  std::string_view name;
  std::int32_t low;
  std::int32_t high;
  std::string_view meaning;
};

constexpr std::array kKeys{
    KeyRule{"VideoMode", 0, 1, "1 or ntsc: 720 x 480 at 29.97; 0 or pal: 720 x 576 at 25"},
    KeyRule{"ForceNoFrameDrop", 0, 1, "1: the output device never drops a frame"},
    KeyRule{"StopRecordingWhenFramesAreDropped", 0, 1, "1: recording stops at a dropped frame"},
    KeyRule{"Refresh Rate Warning", 0, 1, "1: warn at load about the display's refresh rate"},
    KeyRule{"Output", 0, 1, "0: component, 1: Y/C"},
    KeyRule{"Pedestal", 0, 1, "1: keep the NTSC pedestal"},
    KeyRule{"OutputFilter", 0, 3, "output filter, 0 to 3"},
    KeyRule{"SCPhase", -127, 127, "subcarrier phase, -127 to 127"},
    KeyRule{"VeltrixScryOut", 0, 1, "1: start the output preview program"},
    KeyRule{"VeltrixScryIn", 0, 1, "1: start the input preview program"},
    KeyRule{"Input", 0, 3, "input source: 0 composite, 1 Y/C, 2 component, 3 SDI"},
};

constexpr std::array<std::string_view, 10> kControls{"Contrast", "Brightness", "Saturation", "Hue", "UGain",
                                                     "VGain",    "UOffset",    "VOffset",    "AGC", "HYPK"};
// The first eight have a slider in the input dialog, from -127 to 127; the
// last two have no control there and take any whole number.
constexpr std::size_t kSliderControls = 8;
constexpr std::int32_t kSliderLow = -127;
constexpr std::int32_t kSliderHigh = 127;
constexpr std::array<std::string_view, 4> kSources{"Composite", "YC", "Component", "SDI"};

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::optional<std::int32_t> integer(std::string_view text) {
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

struct ColourKeyName {
  std::string name;  // spelt as the file does
  bool slider;
};

// The colour-control key named by key ("Contrast_SDI").
std::optional<ColourKeyName> colourKey(std::string_view key) {
  for (std::size_t c = 0; c < kControls.size(); ++c)
    for (std::string_view source : kSources) {
      const std::string name = std::string(kControls[c]) + "_" + std::string(source);
      if (sameName(name, key)) return ColourKeyName{name, c < kSliderControls};
    }
  return std::nullopt;
}

std::string rangeText(std::int32_t low, std::int32_t high) {
  return std::to_string(low) + " to " + std::to_string(high);
}

}  // namespace

bool readsAsNumber(std::string_view text) {
  std::size_t i = text.find_first_not_of(" \t");
  if (i == std::string_view::npos) return false;
  if (text[i] == '+' || text[i] == '-') ++i;
  return i < text.size() && text[i] >= '0' && text[i] <= '9';
}

SettingChange parseSettingChange(std::string_view assignment) {
  const std::size_t equals = assignment.find('=');
  if (equals == std::string_view::npos || equals == 0)
    throw UsageError("--set wants KEY=VALUE, not '" + std::string(assignment) + "'");
  const std::string_view key = assignment.substr(0, equals);
  std::string_view value = assignment.substr(equals + 1);
  if (sameName(key, "VideoMode") && (sameName(value, "ntsc") || sameName(value, "pal")))
    return {"VideoMode", sameName(value, "pal") ? "0" : "1"};
  const std::optional<std::int32_t> number = integer(value);
  for (const KeyRule& rule : kKeys) {
    if (!sameName(rule.name, key)) continue;
    if (!number || *number < rule.low || *number > rule.high)
      throw UsageError(std::string(rule.name) + " takes " + rangeText(rule.low, rule.high) +
                       (rule.name == "VideoMode" ? " (or ntsc, pal)" : "") + ", not '" + std::string(value) +
                       "'");
    return {std::string(rule.name), std::to_string(*number)};
  }
  if (const auto colour = colourKey(key)) {
    // A value the dialog's slider cannot show is refused, not stored.
    if (!number || (colour->slider && (*number < kSliderLow || *number > kSliderHigh)))
      throw UsageError(colour->name + " takes " +
                       (colour->slider ? rangeText(kSliderLow, kSliderHigh) : "a whole number") + ", not '" +
                       std::string(value) + "'");
    return {colour->name, std::to_string(*number)};
  }
  throw UsageError("unknown setting '" + std::string(key) + "' (see settings --help for the keys)");
}

std::string settingKeysHelp() {
  std::string text;
  for (const KeyRule& rule : kKeys)
    text += "  " + std::string(rule.name) +
            std::string(rule.name.size() < 34 ? 34 - rule.name.size() : 1, ' ') + std::string(rule.meaning) +
            "\n";
  // The words of the last entry, wrapped at 80 columns under its meaning.
  std::string words = "-127 to 127 for CONTROL one of";
  for (std::size_t c = 0; c < kSliderControls; ++c) words += " " + std::string(kControls[c]);
  words += "; a whole number for";
  for (std::size_t c = kSliderControls; c < kControls.size(); ++c) words += " " + std::string(kControls[c]);
  words += "; SOURCE one of";
  for (std::string_view source : kSources) words += " " + std::string(source);
  constexpr std::size_t kIndent = 36, kWidth = 80;
  std::string line = "  CONTROL_SOURCE" + std::string(kIndent - 16, ' ');
  std::size_t start = 0;
  while (start < words.size()) {
    std::size_t end = words.find(' ', start);
    if (end == std::string::npos) end = words.size();
    const std::string word = words.substr(start, end - start);
    if (line.size() > kIndent && line.size() + 1 + word.size() > kWidth) {
      text += line + "\n";
      line = std::string(kIndent, ' ');
    }
    line += (line.size() > kIndent ? " " : "") + word;
    start = end + 1;
  }
  text += line + "\n";
  return text;
}

}  // namespace corvane::host
