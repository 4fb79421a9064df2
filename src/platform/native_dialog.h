// Dialogs shown by the system itself: the plug-in's own dialog resources,
// run modally with their real controls. Only Windows has them; elsewhere
// runNativeDialog says so and the toolkit's own front ends take over.
//
// The driver (the toolkit) owns the dialog's meaning; the system owns the
// controls. Ticks and texts live in the controls and are read back from them.
// Sliders and number boxes are created at run time over placeholder frames
// and are addressed by the placeholder's id.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvane::platform {

// The open dialog, valid from onOpen until the run returns.
class NativeDialog {
 public:
  virtual ~NativeDialog() = default;
  virtual void setText(std::int32_t id, std::string_view text) = 0;
  virtual std::string text(std::int32_t id) const = 0;
  virtual bool checked(std::int32_t id) const = 0;
  virtual void setChecked(std::int32_t id, bool checked) = 0;
  // As the user's click: the button changes as it would and its command
  // arrives (onCommand) before this returns. False for an unknown id.
  virtual bool click(std::int32_t id) = 0;
  // A slider of whole positions low..high over the placeholder (made on the
  // first call), showing position; it does not notify.
  virtual void showSlider(std::int32_t placeholderId, int low, int high, int position) = 0;
  // As the user's drag to position: onSliderMoved follows. False when no
  // slider is there or it cannot take that position.
  virtual bool moveSlider(std::int32_t placeholderId, int position) = 0;
  // A number box over the placeholder (made on the first call) showing text;
  // it does not notify.
  virtual void showNumberBox(std::int32_t placeholderId, std::string_view text) = 0;
  // The text the number box shows; empty when there is none.
  virtual std::string numberText(std::int32_t placeholderId) const = 0;
  // As the user's typing, then leaving the box: onNumberTyped for the change
  // and again, finished, for the leaving. False when no box is there.
  virtual bool typeNumber(std::int32_t placeholderId, std::string_view text) = 0;
  virtual void removeValueControl(std::int32_t placeholderId) = 0;
  // onResume once ms have passed with messages flowing (0: soon).
  virtual void resumeAfter(std::uint32_t ms) = 0;
  // Ends the modal run once the current message has been handled.
  virtual void end(std::int32_t result) = 0;
};

// What the dialog tells its driver. Called on the thread of the modal run;
// a failure must not leave these calls (the system's frames sit below them).
class NativeDialogEvents {
 public:
  virtual ~NativeDialogEvents() = default;
  virtual void onOpen(NativeDialog& dialog) = 0;
  // A button's command (a click, a key, Escape or the close box as 2).
  virtual void onCommand(std::int32_t id) = 0;
  virtual void onSliderMoved(std::int32_t placeholderId, int position) = 0;
  // finished: the user left the box, so what it shows may be tidied.
  virtual void onNumberTyped(std::int32_t placeholderId, std::string_view text, bool finished) = 0;
  // Several times a second while the dialog is open.
  virtual void onTick() = 0;
  virtual void onResume() = 0;
  // The window is going: no call on the dialog after this.
  virtual void onClose() = 0;
};

// Runs dialog resource resourceId of this library modally with no owner
// window; the result given to end. nullopt when the system has no such
// dialogs or this one cannot be made (nothing was shown then).
std::optional<std::int32_t> runNativeDialog(std::int32_t resourceId, NativeDialogEvents& events);

}  // namespace corvane::platform
