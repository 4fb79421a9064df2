#include <algorithm>
#include <string>
#include <string_view>

#include "toolkit/dialog_screen.h"
#include "toolkit/front_ends.h"
#include "toolkit/terminal_keys.h"

namespace corvane::tk::detail {
namespace {

// How long a key wait lasts before posted messages are delivered again.
constexpr int kPollMs = 50;
constexpr double kPageStep = 10.0;

class TtyFrontEnd final : public DialogFrontEnd {
 public:
  explicit TtyFrontEnd(platform::Terminal& terminal) : terminal_(terminal) {}

  void drive(ModalDialog& dialog) override {
    dialog.onRedraw = [this] { dirty_ = true; };
    const auto order = focusableControls(dialog);
    if (!order.empty()) focus_.control = order.front();
    draw(dialog);
    while (!dialog.ended() && !escaped_) {
      const KeyPress key = readKey([this](int timeout) { return terminal_.readByte(timeout); }, kPollMs);
      if (key.key != Key::None) handle(dialog, key);
      toolkitServices().dispatchPostedMessages();
      if (terminal_.takeRedrawRequest()) dirty_ = true;
      if (dirty_ && !dialog.ended()) draw(dialog);
    }
    dialog.onRedraw = nullptr;
  }

 private:
  void handle(ModalDialog& dialog, const KeyPress& key) {
    dirty_ = true;
    TKValueControl* value = focusedValueControl(dialog);
    auto* slider = dynamic_cast<TKSlider*>(value);
    switch (key.key) {
      case Key::Escape:
        focus_.editing.reset();
        escaped_ = true;
        dialog.escape();
        return;
      case Key::Tab:
      case Key::Down:
        return move(dialog, +1);
      case Key::BackTab:
      case Key::Up:
        return move(dialog, -1);
      case Key::Left:
      case Key::Right:
      case Key::PageUp:
      case Key::PageDown: {
        const int direction = key.key == Key::Left || key.key == Key::PageDown ? -1 : +1;
        if (slider == nullptr) return move(dialog, direction);
        const double step = key.key == Key::PageUp || key.key == Key::PageDown ? kPageStep : 1.0;
        slider->SetValue(slider->stepped(direction, step));
        return dialog.actionDone();
      }
      case Key::Space:
      case Key::Enter:
        if (focus_.editing) return commitEdit(dialog);
        if (focus_.control && value == nullptr) {
          dialog.click(dialog.dialogTemplate().controls[*focus_.control].id);
          dialog.actionDone();
        }
        return;
      case Key::Backspace:
        if (focus_.editing && !focus_.editing->empty()) focus_.editing->pop_back();
        return;
      case Key::Character:
        if (value != nullptr && slider == nullptr && isNumberCharacter(key.character)) {
          if (!focus_.editing) focus_.editing.emplace();
          focus_.editing->push_back(key.character);
        }
        return;
      case Key::None:
        return;
    }
  }

  static bool isNumberCharacter(char c) { return (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '+'; }

  TKValueControl* focusedValueControl(const ModalDialog& dialog) const {
    return focus_.control ? dialog.controlOver(*focus_.control) : nullptr;
  }

  void commitEdit(ModalDialog& dialog) {
    auto* edit = dynamic_cast<TKFLT64Edit*>(focusedValueControl(dialog));
    const std::string typed = *focus_.editing;
    focus_.editing.reset();
    // Text that is no number is dropped, and the box shows the value again.
    if (edit != nullptr && edit->SetEditString(typed)) dialog.actionDone();
  }

  void move(ModalDialog& dialog, int direction) {
    if (focus_.editing) commitEdit(dialog);
    const auto order = focusableControls(dialog);
    if (order.empty()) return;
    auto at = std::find(order.begin(), order.end(), focus_.control.value_or(order.front()));
    std::ptrdiff_t index = at == order.end() ? 0 : at - order.begin();
    const auto count = static_cast<std::ptrdiff_t>(order.size());
    index = ((index + direction) % count + count) % count;
    focus_.control = order[static_cast<std::size_t>(index)];
  }

  // A dialog taller than the terminal scrolls with the focus; lines wider
  // than it are cut rather than wrapped, which would tear the picture.
  void draw(const ModalDialog& dialog) {
    const int columns = terminal_.columns();
    const int rows = std::max(1, terminal_.rows() - 1);
    const DialogPicture picture = drawDialog(dialog, focus_, columns);
    const auto& lines = picture.lines;
    const int height = static_cast<int>(lines.size());
    const int focused = picture.focusRow;
    if (focused < top_ + 1) top_ = focused - 1;
    if (focused > top_ + rows - 2) top_ = focused - rows + 2;
    top_ = std::clamp(top_, 0, std::max(0, height - rows));
    std::string screen = "\x1b[H\x1b[2J";
    for (int n = top_; n < std::min(height, top_ + rows); ++n) {
      screen +=
          std::string_view(lines[static_cast<std::size_t>(n)]).substr(0, static_cast<std::size_t>(columns));
      screen += "\r\n";
    }
    terminal_.write(screen);
    dirty_ = false;
  }

  platform::Terminal& terminal_;
  ScreenFocus focus_;
  int top_ = 0;  // the first line of the dialog on the screen
  bool dirty_ = true;
  bool escaped_ = false;
};

}  // namespace

std::unique_ptr<DialogFrontEnd> makeTtyFrontEnd(platform::Terminal& terminal) {
  return std::make_unique<TtyFrontEnd>(terminal);
}

}  // namespace corvane::tk::detail
