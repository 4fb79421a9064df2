// corvane-host: a stand-in for the host application. It loads the plug-in,
// drives its services through the 53 exports exactly as a host would, and is
// the user's command-line tool.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "host/command.h"

namespace {

void printUsage() {
  std::printf("usage: corvane-host [--plugin PATH] COMMAND [ARGS...]\n\ncommands:\n");
  for (const auto& command : corvane::host::commands())
    std::printf("  %-12.*s %.*s\n", static_cast<int>(command.name.size()), command.name.data(),
                static_cast<int>(command.summary.size()), command.summary.data());
  std::printf(
      "\n'corvane-host COMMAND --help' describes one command.\n"
      "--plugin defaults to libavfile.so beside corvane-host or in ../lib from it,\n"
      "else to $CORVANE_PLUGIN.\n");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace corvane::host;
  std::vector<std::string> args(argv + 1, argv + argc);
  CommandContext context;
  context.pluginPath = defaultPluginPath(argv[0]);
  std::size_t i = 0;
  while (i < args.size() && args[i].rfind("--", 0) == 0) {
    if (args[i] == "--plugin" && i + 1 < args.size()) {
      context.pluginPath = args[i + 1];
      i += 2;
    } else if (args[i] == "--help" || args[i] == "-h") {
      printUsage();
      return 0;
    } else {
      std::fprintf(stderr, "corvane-host: unknown option %s\n", args[i].c_str());
      return 2;
    }
  }
  if (i == args.size()) {
    printUsage();
    return 2;
  }
  for (const auto& command : commands()) {
    if (command.name != args[i]) continue;
    context.args.assign(args.begin() + static_cast<long>(i) + 1, args.end());
    if (wantsHelp(context.args)) {
      std::printf("%.*s\n", static_cast<int>(command.usage.size()), command.usage.data());
      return 0;
    }
    try {
      return command.run(context);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "corvane-host %s: %s\n", args[i].c_str(), error.what());
      return 1;
    }
  }
  std::fprintf(stderr, "corvane-host: unknown command %s (try --help)\n", args[i].c_str());
  return 2;
}
