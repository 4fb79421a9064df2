// Modal dialogs in the toolkit's contract: a dialog template as data, the
// window a dialog procedure works on, and the procedure itself. The toolkit's
// dialog host runs a template modally and hands the procedure the opening,
// each command and each change message (0x401) of a variable the window
// depends on. Coordinates are dialog units, also for the window's client area.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "engine/toolkit.h"

namespace corvane::tk {

enum class ControlKind : std::uint8_t {
  GroupBox,
  StaticText,
  CheckBox,          // an auto check box: a click toggles it
  PushLikeCheckBox,  // drawn as a button, behaves as a check box
  RadioButton,       // an auto radio button: a click ticks it and clears its group
  PushButton,
  DefaultPushButton,
  Placeholder,  // a frame that a slider or number box is placed over
};

struct DialogRect {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

inline constexpr std::int32_t kNoControlId = -1;
inline constexpr std::int32_t kCommandOk = 1;
inline constexpr std::int32_t kCommandCancel = 2;  // also Escape and the close box

struct ControlTemplate {
  std::int32_t id;  // kNoControlId for labels and frames nobody addresses
  ControlKind kind;
  DialogRect rect;
  std::string_view text;
};

// Radio buttons that follow each other in the list form one group.
struct DialogTemplate {
  std::int32_t resourceId;
  std::string_view caption;
  DialogRect size;
  std::span<const ControlTemplate> controls;
};

// The open dialog as its procedure sees it. It is the dependant that
// variables announce their changes to; those reach the procedure's onChanged.
class DialogWindow : public MessageSink {
 public:
  virtual void setItemText(std::int32_t id, std::string_view text) = 0;
  virtual bool isChecked(std::int32_t id) const = 0;
  virtual void setChecked(std::int32_t id, bool checked) = 0;
  // The control's rectangle in client coordinates; all zero for an unknown id.
  virtual DialogRect itemRect(std::int32_t id) const = 0;
  // Ends the modal run once the current message has been handled.
  virtual void endDialog(std::int32_t result) = 0;
};

// A dialog procedure: the messages it handles. Runs on the thread of the
// modal run; a procedure guards its own body.
class DialogProcedure {
 public:
  virtual ~DialogProcedure() = default;
  virtual void onOpen(DialogWindow& window) = 0;
  virtual void onCommand(DialogWindow& window, std::int32_t id) = 0;
  virtual void onChanged(DialogWindow& window) = 0;
};

// Runs the dialog modally through the toolkit's services and gives the result
// of endDialog (kCommandCancel when the front end closed it without one).
std::int32_t runModalDialog(const DialogTemplate& dialog, DialogProcedure& procedure);

}  // namespace corvane::tk
