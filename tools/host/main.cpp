// corvane-host: a stand-in for the host application. It loads the plug-in,
// drives its services through the 53 exports exactly as a host would, and is
// the user's command-line tool.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/command.h"
#include "host/plugin_loader.h"
#include "host/version.h"
#include "host/video_mode.h"
#include "platform/interrupt.h"
#include "platform/standard_streams.h"

namespace {

using namespace corvane::host;

void printUsage(std::FILE* to) {
  std::fprintf(to,
               "usage: corvane-host [--plugin PATH] [--video-mode ntsc|pal] COMMAND [ARGS...]\n"
               "       corvane-host --help | --version | help [COMMAND]\n\ncommands:\n");
  std::size_t width = 0;
  for (const auto& command : commands()) width = std::max(width, command.name.size());
  for (const auto& command : commands())
    std::fprintf(to, "  %-*.*s  %.*s\n", static_cast<int>(width), static_cast<int>(command.name.size()),
                 command.name.data(), static_cast<int>(command.summary.size()), command.summary.data());
  std::fprintf(to, "\n'corvane-host COMMAND --help' describes one command.\n--plugin defaults to %s\n",
               pluginLookupDescription().c_str());
  std::fprintf(to,
               "--video-mode loads the plug-in in that mode for this run only; the settings\n"
               "file keeps its own (to change it: settings --set VideoMode=ntsc|pal).\n"
               "Exit status: 0 done, 1 failed, 2 a command line that cannot be run.\n");
}

const Command* commandNamed(const std::string& name) {
  for (const auto& command : commands())
    if (command.name == name) return &command;
  return nullptr;
}

void printCommandUsage(const Command& command) {
  std::printf("%.*s\n", static_cast<int>(command.usage.size()), command.usage.data());
}

// Takes "--NAME VALUE" or "--NAME=VALUE" at args[i]; false when args[i] is not it.
bool takeValue(const std::vector<std::string>& args, std::size_t& i, const std::string& name,
               std::optional<std::string>& value) {
  const std::string& arg = args[i];
  if (arg.rfind(name + "=", 0) == 0) {
    value = arg.substr(name.size() + 1);
    return true;
  }
  if (arg != name) return false;
  if (i + 1 >= args.size()) throw UsageError(name + " needs a value");
  value = args[++i];
  return true;
}

int runCommand(const Command& command, CommandContext& context, const std::optional<std::string>& videoMode) {
  if (videoMode && command.name == "settings")
    throw UsageError("--video-mode is for one run; to change the mode for good: settings --set VideoMode=" +
                     *videoMode);
  std::unique_ptr<VideoModeOverride> modeOverride;
  if (videoMode)
    modeOverride = std::make_unique<VideoModeOverride>(*videoMode);
  else if (command.name != "settings")
    warnAboutUnreadableVideoMode();
  return command.run(context);
}

int run(const std::vector<std::string>& args, const char* argv0) {
  CommandContext context;
  std::optional<std::string> plugin;
  std::optional<std::string> videoMode;
  std::size_t i = 0;
  for (; i < args.size() && args[i].rfind("-", 0) == 0; ++i) {
    if (takeValue(args, i, "--plugin", plugin) || takeValue(args, i, "--video-mode", videoMode)) continue;
    if (args[i] == "--help" || args[i] == "-h") {
      printUsage(stdout);
      return 0;
    }
    if (args[i] == "--version") {
      std::printf("corvane-host %.*s\n", static_cast<int>(kHostVersion.size()), kHostVersion.data());
      return 0;
    }
    throw UsageError("unknown option " + args[i] + " (try --help)");
  }
  if (i == args.size()) {
    printUsage(stderr);
    return kExitUsage;
  }
  if (args[i] == "help") {
    if (i + 1 == args.size()) {
      printUsage(stdout);
      return 0;
    }
    const Command* command = commandNamed(args[i + 1]);
    if (command == nullptr) throw UsageError("unknown command " + args[i + 1] + " (try --help)");
    printCommandUsage(*command);
    return 0;
  }
  const Command* command = commandNamed(args[i]);
  if (command == nullptr) throw UsageError("unknown command " + args[i] + " (try --help)");
  // --video-mode is taken after the command name too, where users put options.
  for (std::size_t k = i + 1; k < args.size(); ++k) {
    if (args[k] == "--") {
      context.args.insert(context.args.end(), args.begin() + static_cast<long>(k), args.end());
      break;
    }
    if (!takeValue(args, k, "--video-mode", videoMode)) context.args.push_back(args[k]);
  }
  if (wantsHelp(context.args)) {
    printCommandUsage(*command);
    return 0;
  }
  context.pluginPath = plugin ? *plugin : defaultPluginPath(argv0);
  addInstalledProgramsToPath();
  try {
    return runCommand(*command, context, videoMode);
  } catch (const UsageError& error) {
    std::fprintf(stderr, "corvane-host %s: %s\n", args[i].c_str(), error.what());
    return kExitUsage;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "corvane-host %s: %s\n", args[i].c_str(), error.what());
    return kExitFailure;
  }
}

}  // namespace

int main(int argc, char** argv) {
  corvane::platform::useBinaryStandardStreams();
  corvane::platform::installInterruptCleanup();
  try {
    return run(std::vector<std::string>(argv + 1, argv + argc), argv[0]);
  } catch (const UsageError& error) {
    std::fprintf(stderr, "corvane-host: %s\n", error.what());
    return kExitUsage;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "corvane-host: %s\n", error.what());
    return kExitFailure;
  }
}
