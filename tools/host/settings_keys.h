// The keys of the plug-in's settings file that `settings --set` may change,
// with the values each one takes.
#pragma once

#include <string>
#include <string_view>

namespace corvane::host {

inline constexpr std::string_view kSettingsFile = "VideoCorvane.ini";
inline constexpr std::string_view kSettingsSection = "VideoCorvane Configuration";

// The key's name as the file spells it and the value to store, from
// "KEY=VALUE" (keys compare case-insensitively; VideoMode also takes ntsc and
// pal). Throws UsageError naming what is wrong.
struct SettingChange {
  std::string key;
  std::string value;
};
SettingChange parseSettingChange(std::string_view assignment);

// The list shown by "settings --help": one line per key with its values.
std::string settingKeysHelp();

// True when text reads as a number the way the plug-in reads its settings
// (optional blanks and sign, then a digit).
bool readsAsNumber(std::string_view text);

}  // namespace corvane::host
