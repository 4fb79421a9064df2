// How a dialog looks in a terminal: a box with the caption in its top edge,
// every control at its place (see dialog_layout.h), group boxes as frames, "[x]" check boxes, "(*)" radio
// buttons, "[*2*]" ticked push-like boxes, "< OK >" buttons, wrapped static
// texts, sliders as a track with the knob and the number, number boxes as
// "[value]". A '>' stands before the control that has the focus.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "toolkit/modal_dialog.h"

namespace corvane::tk::detail {

struct ScreenFocus {
  std::optional<std::size_t> control;  // index in the template
  std::optional<std::string> editing;  // what is being typed into a number box
};

struct DialogPicture {
  std::vector<std::string> lines;  // at most maxColumns wide where the dialog can be made so
  int focusRow = 0;                // the line of the focused control, for a screen that shows a part
};

DialogPicture drawDialog(const ModalDialog& dialog, const ScreenFocus& focus, int maxColumns = 80);

// The controls a user can reach with Tab, in template order: boxes, buttons,
// and placeholders that carry a slider or number box.
std::vector<std::size_t> focusableControls(const ModalDialog& dialog);

}  // namespace corvane::tk::detail
