#include "plugin/warning_dialog.h"

#include <array>

#include "exports/report_error.h"

namespace corvane::plugin {
namespace {

constexpr std::size_t kMessageTextCapacity = 1024;

using tk::ControlKind;
constexpr std::array<tk::ControlTemplate, 4> kControls{{
    {tk::kNoControlId, ControlKind::GroupBox, {5, 5, 200, 90}, ""},
    {kWarningTextId, ControlKind::StaticText, {10, 15, 191, 62}, "Static"},
    {kDoNotShowAgainId, ControlKind::CheckBox, {10, 80, 118, 10}, "Do not show this message again"},
    {tk::kCommandOk, ControlKind::DefaultPushButton, {155, 100, 50, 14}, "OK"},
}};

constexpr tk::DialogTemplate kTemplate{kWarningDialogId, "Warning !", {0, 0, 212, 119}, kControls};

}  // namespace

const tk::DialogTemplate& warningDialogTemplate() { return kTemplate; }

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
  tk::runModalDialog(kTemplate, procedure);
  return procedure.doNotShowAgain();
}

}  // namespace corvane::plugin
