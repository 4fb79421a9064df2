// corvane-host settings: loads the plug-in (which reads its settings, writing
// back every missing default, and saves them again at unload), then stores
// the --set values and prints the settings section of the file.
#include <array>
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/command.h"
#include "host/options.h"
#include "host/settings_keys.h"
#include "host/video_mode.h"
#include "platform/profile.h"

namespace corvane::host {
namespace {

std::string lowered(std::string s) {
  for (char& c : s) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return s;
}

std::string trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return "";
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

constexpr std::array kOptions{OptionRule{"show", '\0', false}, OptionRule{"set", '\0', true}};

void show(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::printf("settings file %s\n", path.c_str());
  bool inSection = false;
  for (std::string line; std::getline(in, line);) {
    const std::string t = trimmed(line);
    if (!t.empty() && t.front() == '[') {
      inSection = lowered(t) == "[videocorvane configuration]";
      continue;
    }
    if (inSection && !t.empty() && t.front() != ';') std::printf("  %s\n", t.c_str());
  }
}

int run(CommandContext& context) {
  // --set may come more than once; the parser keeps one value per option.
  std::vector<SettingChange> changes;
  std::vector<std::string> rest;
  for (std::size_t i = 0; i < context.args.size(); ++i) {
    const std::string& arg = context.args[i];
    if (arg.rfind("--set=", 0) == 0) {
      changes.push_back(parseSettingChange(std::string_view(arg).substr(6)));
    } else if (arg == "--set") {
      if (i + 1 == context.args.size()) throw UsageError("--set needs KEY=VALUE (see --help)");
      changes.push_back(parseSettingChange(context.args[++i]));
    } else {
      rest.push_back(arg);
    }
  }
  const ParsedOptions parsed = parseOptions(rest, kOptions);
  if (!parsed.operands().empty() || (changes.empty() && !parsed.has("show")))
    throw UsageError("settings takes --show or --set KEY=VALUE (see --help)");
  const std::string path = platform::profilePath(kSettingsFile);
  // A file the plug-in would refuse is said once here, before it says so too.
  if (const auto refusal = platform::profileRefusal(path)) throw std::runtime_error(*refusal);
  std::vector<platform::ProfileEntry> entries;
  for (const SettingChange& change : changes) entries.push_back({change.key, change.value});
  // Stored before the load as well, so that a file that cannot take them
  // fails once, with the system's reason, before the plug-in tries.
  const auto save = [&] {
    if (const auto reason = platform::saveProfileValues(path, kSettingsSection, entries))
      throw std::runtime_error("cannot save the settings in " + path + ": " + *reason);
  };
  if (changes.empty())
    warnAboutUnreadableVideoMode();
  else
    save();
  {
    // The plug-in writes back missing defaults at load and its variables at
    // unload, so changes go in again after it is gone.
    LoadedPlugin plugin(context.pluginPath);
    plugin.unload();
  }
  if (!changes.empty()) save();
  for (const SettingChange& change : changes)
    std::fprintf(stderr, "corvane-host settings: %s=%s saved in %s\n", change.key.c_str(),
                 change.value.c_str(), path.c_str());
  if (parsed.has("show")) show(path);
  return 0;
}

const std::string kUsage =
    "usage: corvane-host settings --show\n"
    "       corvane-host settings --set KEY=VALUE [--set KEY=VALUE ...] [--show]\n\n"
    "Loads and unloads the plug-in (which writes every missing default), then\n"
    "stores the --set values and prints the \"VideoCorvane Configuration\"\n"
    "section of VideoCorvane.ini in $CORVANE_CONFIG_DIR (default\n"
    "$XDG_CONFIG_HOME/corvane, else ~/.config/corvane). Values are checked\n"
    "before anything is written; the plug-in reads them at its next load.\n\n"
    "Keys (names compare without regard to case):\n" +
    settingKeysHelp();

const CommandRegistration registration{
    Command{"settings", "show or change the settings the plug-in reads", kUsage, run}};

}  // namespace
}  // namespace corvane::host
