#include "plugin/warning_dialog.h"

#include <array>

#include "exports/report_error.h"

namespace corvane::plugin {
namespace {

constexpr std::size_t kMessageTextCapacity = 1024;

}  // namespace

const tk::DialogTemplate& warningDialogTemplate() { return kWarningDialogTemplate; }

WarningDialogProcedure::WarningDialogProcedure(std::string_view text)
    : text_(text.substr(0, kMessageTextCapacity - 1)) {}

void WarningDialogProcedure::onOpen(tk::DialogWindow& window) {
  exports::reportError(kWarningCallbackCaption, [&] {
    window.setItemText(kWarningTextId, text_);
    return 0;
  });
}

void WarningDialogProcedure::onCommand(tk::DialogWindow& window, std::int32_t id) {
  exports::reportError(kWarningCallbackCaption, [&] {
    if (id == tk::kCommandOk || id == tk::kCommandCancel) {
      doNotShowAgain_ = window.isChecked(kDoNotShowAgainId);
      window.endDialog(0);
    }
    return 0;
  });
}

bool showWarningDialog(std::string_view text) {
  WarningDialogProcedure procedure(text);
  tk::runModalDialog(kWarningDialogTemplate, procedure);
  return procedure.doNotShowAgain();
}

}  // namespace corvane::plugin
