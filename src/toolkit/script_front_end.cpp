#include <cstdio>

#include "toolkit/front_ends.h"

namespace corvane::tk::detail {
namespace {

class ScriptFrontEnd final : public DialogFrontEnd {
 public:
  ScriptFrontEnd(std::vector<ScriptAction> actions, platform::Clock& clock)
      : actions_(std::move(actions)), clock_(clock) {}

  void drive(ModalDialog& dialog) override {
    for (const ScriptAction& action : actions_) {
      if (dialog.ended()) return;
      play(dialog, action);
      toolkitServices().dispatchPostedMessages();
      dialog.actionDone();
    }
  }

 private:
  void play(ModalDialog& dialog, const ScriptAction& action) {
    const std::int32_t resource = dialog.dialogTemplate().resourceId;
    switch (action.kind) {
      case ScriptAction::Kind::Click:
        if (!dialog.click(action.id)) {
          std::fprintf(stderr, "Corvane: dialog %d has no control %d to click\n", resource, action.id);
        }
        break;
      case ScriptAction::Kind::Set:
        if (!dialog.setValueAt(action.id, action.value)) {
          std::fprintf(stderr, "Corvane: dialog %d has no slider or number box over %d\n", resource,
                       action.id);
        }
        break;
      case ScriptAction::Kind::Wait:
        pumpMessagesFor(clock_, action.milliseconds);
        break;
      case ScriptAction::Kind::Close:
        dialog.command(kCommandCancel);
        break;
    }
  }

  std::vector<ScriptAction> actions_;
  platform::Clock& clock_;
};

}  // namespace

std::unique_ptr<DialogFrontEnd> makeScriptFrontEnd(std::vector<ScriptAction> actions,
                                                   platform::Clock& clock) {
  return std::make_unique<ScriptFrontEnd>(std::move(actions), clock);
}

}  // namespace corvane::tk::detail
