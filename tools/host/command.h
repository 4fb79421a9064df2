// The host's subcommands. Each command file registers itself with a static
// CommandRegistration; main dispatches by name.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
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
  // Returns the process exit code; throws UsageError for a command line it
  // cannot take (exit 2) and std::runtime_error for any other failure (exit 1).
  std::function<int(CommandContext&)> run;
};

// A command line that cannot be run as written.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

const std::vector<Command>& commands();

struct CommandRegistration {
  explicit CommandRegistration(Command command);
};

// True when args hold --help or -h before any "--".
bool wantsHelp(const std::vector<std::string>& args);

// "warning: TEXT" on standard error, whatever -q says: a warning is never
// progress.
void warn(const std::string& text);

// "1 frame", "60 frames": a count with its noun, singular for exactly one.
std::string counted(std::uint64_t count, const std::string& noun);

}  // namespace corvane::host
