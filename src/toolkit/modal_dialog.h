// One open modal dialog: the state of its controls (ticks, texts, the value
// controls placed over its placeholders), the procedure it feeds, and the
// log of what happened to it. Front ends drive it as a user would. Attached
// to a system dialog, the ticks and texts live in that dialog's controls:
// they are written through and read back from there, so the log shows what
// the real controls hold.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/dialog.h"
#include "platform/native_dialog.h"
#include "toolkit/dialog_log.h"

namespace corvane::tk::detail {

class ModalDialog final : public DialogWindow {
 public:
  ModalDialog(const DialogTemplate& dialog, DialogProcedure& procedure, DialogLog& log);
  // Releases the windows of the value controls still placed in it.
  ~ModalDialog() override;

  // The system dialog it is shown in from now on (nullptr: none, for when
  // that window goes). Its value controls follow through onRedraw.
  void attach(platform::NativeDialog* native) { native_ = native; }
  platform::NativeDialog* native() const { return native_; }
  // The placeholder id the value control sits over; kNoControlId for none.
  std::int32_t placeholderOf(const TKValueControl& control) const;

  // Delivers the opening and logs the texts the procedure set and the state.
  void open();
  // As a mouse click: a check box toggles, a radio button is ticked and its
  // group cleared; then the command goes to the procedure. False, with no
  // effect, for an id the template does not have.
  bool click(std::int32_t id);
  // The command of a control, as a button or key gives it.
  void command(std::int32_t id);
  // Sets the variable of the value control over placeholder id as typed;
  // false when no control sits there.
  bool setValueAt(std::int32_t placeholderId, double value);
  // Escape: the cancel command, and the end if the procedure did not end it.
  void escape();
  // Logs the state when the dialog is still open (after each user action).
  void actionDone();
  // Ends the run: releases the value controls, logs the close.
  std::int32_t finish();

  bool ended() const { return ended_; }
  const DialogTemplate& dialogTemplate() const { return template_; }
  const std::string& textOf(std::size_t index) const { return texts_[index]; }
  bool checkedAt(std::size_t index) const { return checked_[index]; }
  // The value control over the placeholder at index, or nullptr.
  TKValueControl* controlOver(std::size_t index) const;
  // Called when a change may need a redraw.
  std::function<void()> onRedraw;

  // DialogWindow
  void setItemText(std::int32_t id, std::string_view text) override;
  bool isChecked(std::int32_t id) const override;
  void setChecked(std::int32_t id, bool checked) override;
  DialogRect itemRect(std::int32_t id) const override;
  void endDialog(std::int32_t result) override;
  void onToolkitMessage(std::int32_t message, ToolkitUI* sender) override;

  // The value controls' side.
  void adopt(TKValueControl& control);
  void forget(TKValueControl& control);
  void valueControlChanged();

 private:
  std::ptrdiff_t indexOf(std::int32_t id) const;
  void logState();
  std::string valueText(std::int32_t placeholderId, TKValueControl& control) const;

  const DialogTemplate& template_;
  DialogProcedure& procedure_;
  DialogLog& log_;
  std::vector<std::string> texts_;
  std::vector<bool> checked_;
  std::vector<std::int32_t> textsSetOnOpen_;
  std::vector<TKValueControl*> controls_;
  platform::NativeDialog* native_ = nullptr;
  bool opening_ = false;
  bool ended_ = false;
  std::int32_t result_ = kCommandCancel;
};

}  // namespace corvane::tk::detail
