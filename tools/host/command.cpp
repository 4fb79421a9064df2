#include "host/command.h"

#include <algorithm>
#include <cstdio>

namespace corvane::host {
namespace {
std::vector<Command>& table() {
  static std::vector<Command> commands;
  return commands;
}
}  // namespace

const std::vector<Command>& commands() {
  auto& t = table();
  std::sort(t.begin(), t.end(), [](const Command& a, const Command& b) { return a.name < b.name; });
  return t;
}

CommandRegistration::CommandRegistration(Command command) { table().push_back(std::move(command)); }

bool wantsHelp(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--") return false;
    if (arg == "--help" || arg == "-h") return true;
  }
  return false;
}

void warn(const std::string& text) { std::fprintf(stderr, "corvane-host: warning: %s\n", text.c_str()); }

std::string counted(std::uint64_t count, const std::string& noun) {
  return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

}  // namespace corvane::host
