// The host's subcommands. Each command file registers itself with a static
// CommandRegistration; main dispatches by name.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "host/plugin_loader.h"

namespace corvane::host {

struct CommandContext {
  std::string pluginPath;
  std::vector<std::string> args;  // after the command name
};

struct Command {
  std::string_view name;
  std::string_view summary;
  std::string_view usage;  // shown by "corvane-host NAME --help"
  // Returns the process exit code; throws std::runtime_error for a one-line error.
  std::function<int(CommandContext&)> run;
};

const std::vector<Command>& commands();

struct CommandRegistration {
  explicit CommandRegistration(Command command);
};

// True when args hold --help or -h.
bool wantsHelp(const std::vector<std::string>& args);

}  // namespace corvane::host
