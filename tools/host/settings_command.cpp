// corvane-host settings --show: loads the plug-in (which reads its settings,
// writing back every missing default, and saves them again at unload) and
// prints the settings section of the file.
#include <cstdio>
#include <fstream>
#include <stdexcept>
#include <string>

#include "host/command.h"
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

int run(CommandContext& context) {
  if (context.args.size() != 1 || context.args[0] != "--show")
    throw std::runtime_error("settings takes --show (see --help)");
  {
    LoadedPlugin plugin(context.pluginPath);
    plugin.unload();
  }
  const std::string path = platform::profilePath("VideoCorvane.ini");
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
  return 0;
}

const CommandRegistration registration{
    Command{"settings", "show the settings the plug-in reads",
            "usage: corvane-host settings --show\n\n"
            "Loads and unloads the plug-in, then prints the \"VideoCorvane Configuration\"\n"
            "section of VideoCorvane.ini in $CORVANE_CONFIG_DIR (default\n"
            "$XDG_CONFIG_HOME/corvane, else ~/.config/corvane).",
            run}};

}  // namespace
}  // namespace corvane::host
