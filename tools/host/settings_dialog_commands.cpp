// corvane-host output-settings and input-settings: load the plug-in and open
// its output or input settings dialog, as a video editor does when the user
// asks for the device's settings. In a terminal the dialog is drawn there
// unless CORVANE_DIALOGS chooses another front end; the plug-in saves what
// was changed when it unloads.
#include <cstdio>
#include <span>
#include <string>

#include "host/command.h"
#include "host/host_record.h"
#include "host/options.h"
#include "platform/environment.h"
#include "platform/file_status.h"

namespace corvane::host {
namespace {

constexpr std::uint32_t kShowDialog = 0x1;
constexpr std::size_t kSinkSettingsSize = 16;
constexpr std::size_t kRecordingSettingsSize = 944;

// Without a front end chosen, a terminal gets the drawn dialog; elsewhere the
// plug-in's own default (none) applies and the dialog closes at once.
void chooseFrontEnd() {
  if (platform::environmentValue("CORVANE_DIALOGS")) return;
  if (platform::isTerminal(stdin) && platform::isTerminal(stdout))
    platform::setEnvironmentValue("CORVANE_DIALOGS", "tty");
}

// One dialog command: the settings record the export takes, with the flag
// that shows the dialog at byte 4.
struct DialogCommand {
  const char* name;
  std::size_t recordSize;
  bool sizeWordFirst;  // the recording record carries its size; the sink's does not
  RecordFn AvfileApi::*show;
  const char* refused;
};

int runDialog(CommandContext& context, const DialogCommand& command) {
  const ParsedOptions parsed = parseOptions(context.args, std::span<const OptionRule>());
  if (!parsed.operands().empty())
    throw UsageError(std::string(command.name) + " takes no operands (see --help)");
  chooseFrontEnd();
  LoadedPlugin plugin(context.pluginPath);
  RecordBuffer settings(command.recordSize, 0);
  if (command.sizeWordFirst) settings.setU32(0, static_cast<std::uint32_t>(command.recordSize));
  settings.setU32(4, kShowDialog);
  if ((plugin.api().*command.show)(settings.data()) != 1) throw std::runtime_error(command.refused);
  plugin.unload();
  return 0;
}

int runOutput(CommandContext& context) {
  return runDialog(context, {"output-settings", kSinkSettingsSize, false, &AvfileApi::AVFILE_SetSinkSettings,
                             "the plug-in refused to show its output settings"});
}

int runInput(CommandContext& context) {
  return runDialog(context,
                   {"input-settings", kRecordingSettingsSize, true, &AvfileApi::AVFILE_SetRecordingSettings,
                    "the plug-in refused to show its input settings"});
}

const std::string kFrontEnds =
    "The dialog is drawn in the terminal (Tab and the arrows move, Space or\n"
    "Enter clicks, left and right move a slider, digits edit a number box,\n"
    "Escape closes). CORVANE_DIALOGS=none, tty or script:PATH chooses another\n"
    "front end; without a terminal and without it the dialog closes at once.\n"
    "What was changed is saved in VideoCorvane.ini when the plug-in unloads;\n"
    "\"corvane-host settings --show\" prints it.\n";

// A command keeps a view of its usage: the texts live here for the process.
const std::string kOutputUsage =
    "usage: corvane-host output-settings\n\n"
    "Opens the plug-in's Output Settings dialog: output source, frame dropping,\n"
    "the on-screen preview, NTSC or PAL (from the next load), the pedestal, the\n"
    "SC phase and the output filter. Source, pedestal, SC phase and filter\n"
    "reach the board at once.\n\n" +
    kFrontEnds;
const std::string kInputUsage =
    "usage: corvane-host input-settings\n\n"
    "Opens the plug-in's Input Settings dialog: input source, the eight picture\n"
    "controls of that source, stopping a take on dropped frames (for this\n"
    "process only) and the on-screen input preview. Every change reaches the\n"
    "board at once.\n\n" +
    kFrontEnds;

const CommandRegistration outputRegistration{
    Command{"output-settings", "change the board's output settings in the plug-in's dialog", kOutputUsage,
            runOutput}};
const CommandRegistration inputRegistration{Command{
    "input-settings", "change the board's input settings in the plug-in's dialog", kInputUsage, runInput}};

}  // namespace
}  // namespace corvane::host
