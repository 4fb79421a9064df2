#include "toolkit/dialog_screen.h"

#include <algorithm>
#include <cmath>

#include "toolkit/dialog_layout.h"

namespace corvane::tk::detail {
namespace {

class Canvas {
 public:
  Canvas(int columns, int rows)
      : lines_(static_cast<std::size_t>(rows), std::string(static_cast<std::size_t>(columns), ' ')) {}

  int columns() const { return static_cast<int>(lines_.front().size()); }
  int rows() const { return static_cast<int>(lines_.size()); }

  // Clipped at the edges, so the frame can be drawn last and stays whole.
  void put(int x, int y, std::string_view text, int limit = -1) {
    if (y < 0 || y >= rows()) return;
    const int end = limit < 0 ? columns() : std::min(columns(), x + limit);
    for (std::size_t i = 0; i < text.size() && x + static_cast<int>(i) < end; ++i) {
      if (x + static_cast<int>(i) >= 0)
        lines_[static_cast<std::size_t>(y)][static_cast<std::size_t>(x) + i] = text[i];
    }
  }

  void frame(int left, int top, int right, int bottom, std::string_view title) {
    for (int x = left; x <= right; ++x) {
      put(x, top, "-");
      put(x, bottom, "-");
    }
    for (int y = top; y <= bottom; ++y) {
      put(left, y, "|");
      put(right, y, "|");
    }
    for (int x : {left, right}) {
      put(x, top, "+");
      put(x, bottom, "+");
    }
    if (!title.empty()) put(left + 2, top, " " + std::string(title) + " ", right - left - 3);
  }

  std::vector<std::string> lines() && { return std::move(lines_); }

 private:
  std::vector<std::string> lines_;
};

std::string slider(TKSlider& control, int width) {
  const std::string number = formatValue(control.GetValue());
  const int track = std::max(3, width - static_cast<int>(number.size()) - 3);
  std::string out = "[" + std::string(static_cast<std::size_t>(track), '-') + "] " + number;
  const double lo = std::min(control.low(), control.high());
  const double hi = std::max(control.low(), control.high());
  const double share = hi > lo ? std::clamp((control.GetValue() - lo) / (hi - lo), 0.0, 1.0) : 0.0;
  out[1 + static_cast<std::size_t>(std::lround(share * (track - 1)))] = 'O';
  return out;
}

std::string numberBox(TKValueControl& control, int width, const std::optional<std::string>& editing) {
  const std::string shown = editing ? *editing + "_" : formatValue(control.GetValue());
  std::string inner = shown;
  inner.resize(static_cast<std::size_t>(std::max(static_cast<int>(shown.size()), width - 2)), ' ');
  return "[" + inner + "]";
}

}  // namespace

std::vector<std::size_t> focusableControls(const ModalDialog& dialog) {
  std::vector<std::size_t> out;
  const auto& controls = dialog.dialogTemplate().controls;
  for (std::size_t i = 0; i < controls.size(); ++i) {
    switch (controls[i].kind) {
      case ControlKind::CheckBox:
      case ControlKind::PushLikeCheckBox:
      case ControlKind::RadioButton:
      case ControlKind::PushButton:
      case ControlKind::DefaultPushButton:
        out.push_back(i);
        break;
      case ControlKind::Placeholder:
        if (dialog.controlOver(i) != nullptr) out.push_back(i);
        break;
      default:
        break;
    }
  }
  return out;
}

DialogPicture drawDialog(const ModalDialog& dialog, const ScreenFocus& focus, int maxColumns) {
  const DialogTemplate& t = dialog.dialogTemplate();
  const DialogLayout layout(dialog, maxColumns);
  const int right = layout.right();
  Canvas canvas(right + 1, layout.bottom() + 1);
  for (std::size_t i = 0; i < t.controls.size(); ++i) {
    const ControlTemplate& c = t.controls[i];
    const CellRect cell = layout.cellsOf(i);
    const int x = cell.column;
    const int y = cell.row;
    const std::string& text = dialog.textOf(i);
    const bool ticked = dialog.checkedAt(i);
    switch (c.kind) {
      case ControlKind::GroupBox:
        canvas.frame(x, y, layout.rightOf(i), layout.bottomOf(i), text);
        break;
      case ControlKind::StaticText: {
        const auto lines = wrapped(text, cell.columns, cell.rows);
        for (std::size_t n = 0; n < lines.size(); ++n)
          canvas.put(x, y + static_cast<int>(n), lines[n], right - x);
        break;
      }
      case ControlKind::CheckBox:
        canvas.put(x, y, std::string(ticked ? "[x] " : "[ ] ") + text, right - x);
        break;
      case ControlKind::RadioButton:
        canvas.put(x, y, std::string(ticked ? "(*) " : "( ) ") + text, right - x);
        break;
      case ControlKind::PushLikeCheckBox:
        canvas.put(x, y, ticked ? "[*" + text + "*]" : "[ " + text + " ]", right - x);
        break;
      case ControlKind::PushButton:
      case ControlKind::DefaultPushButton:
        canvas.put(x, y, "< " + text + " >", right - x);
        break;
      case ControlKind::Placeholder:
        if (TKValueControl* control = dialog.controlOver(i)) {
          if (auto* s = dynamic_cast<TKSlider*>(control)) {
            canvas.put(x, y, slider(*s, cell.columns), right - x);
          } else {
            const bool edited = focus.control == i;
            canvas.put(x, y, numberBox(*control, cell.columns, edited ? focus.editing : std::nullopt),
                       right - x);
          }
        }
        break;
    }
    if (focus.control == i) canvas.put(x - 1, y, ">");
  }
  canvas.frame(0, 0, right, layout.bottom(), t.caption);
  return {std::move(canvas).lines(), focus.control ? layout.cellsOf(*focus.control).row : 0};
}

}  // namespace corvane::tk::detail
