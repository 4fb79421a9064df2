#include "toolkit/dialog_host.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "toolkit/front_ends.h"

namespace corvane::tk {

std::int32_t runModalDialog(const DialogTemplate& dialog, DialogProcedure& procedure) {
  return toolkitServices().runModalDialog(dialog, procedure);
}

namespace detail {

std::int32_t runDialog(const DialogTemplate& dialog, DialogProcedure& procedure, DialogFrontEnd& frontEnd,
                       DialogLog& log) {
  ModalDialog window(dialog, procedure, log);
  window.open();
  if (!window.ended()) frontEnd.drive(window);
  if (!window.ended()) window.escape();
  return window.finish();
}

namespace {

class NoFrontEnd final : public DialogFrontEnd {
 public:
  void drive(ModalDialog&) override {}
};

constexpr std::string_view kScriptPrefix = "script:";

}  // namespace

std::int32_t runDialogFromEnvironment(const DialogTemplate& dialog, DialogProcedure& procedure) {
  DialogLog log = DialogLog::fromEnvironment();
  const std::optional<std::string> chosen = platform::environmentValue("CORVANE_DIALOGS");
  const std::string mode = chosen.value_or("");
  // Where the system has dialogs of its own, they are what the user sees
  // (also for "tty": the terminal drawing stands in for them elsewhere), and
  // "none" and scripts drive them; the toolkit's own front ends take over
  // wherever the system has none.
  if (mode.rfind(kScriptPrefix, 0) == 0) {
    const std::string path = mode.substr(kScriptPrefix.size());
    std::vector<ScriptAction> actions = takeScriptedActions(path, dialog.resourceId);
    if (auto result = runSystemDialog(dialog, procedure, log, actions)) return *result;
    auto frontEnd = makeScriptFrontEnd(std::move(actions), platform::systemClock());
    return runDialog(dialog, procedure, *frontEnd, log);
  }
  const bool byUser = mode.empty() || mode == "tty";
  if (!byUser && mode != "none") {
    std::fprintf(stderr,
                 "Corvane: CORVANE_DIALOGS=%s is not none, tty or script:PATH; dialogs close at once\n",
                 mode.c_str());
  }
  using Actions = std::optional<std::vector<ScriptAction>>;
  if (auto result =
          runSystemDialog(dialog, procedure, log, byUser ? Actions() : Actions(std::vector<ScriptAction>())))
    return *result;
  if (mode == "tty") {
    if (auto terminal = platform::Terminal::open()) {
      auto frontEnd = makeTtyFrontEnd(*terminal);
      return runDialog(dialog, procedure, *frontEnd, log);
    }
    std::fprintf(stderr, "Corvane: no terminal for dialog %d; it closes at once\n", dialog.resourceId);
  }
  NoFrontEnd none;
  return runDialog(dialog, procedure, none, log);
}

void pumpMessagesFor(platform::Clock& clock, std::uint32_t ms) {
  constexpr std::uint32_t kSlice = 10;
  toolkitServices().dispatchPostedMessages();
  while (ms > 0) {
    const std::uint32_t step = std::min(ms, kSlice);
    clock.sleepMilliseconds(step);
    ms -= step;
    toolkitServices().dispatchPostedMessages();
  }
}

}  // namespace detail
}  // namespace corvane::tk
