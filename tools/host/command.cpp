#include "host/command.h"

#include <algorithm>

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
  return std::any_of(args.begin(), args.end(),
                     [](const std::string& a) { return a == "--help" || a == "-h"; });
}

}  // namespace corvane::host
