// The terminal front end at a pseudo-terminal (keys typed in, the screen read
// back, the dialog's outcome checked in the child that ran it), and how a
// dialog made for a proportional font is laid out in character cells.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/pty_child.h"
#include "toolkit/dialog_host.h"
#include "toolkit/dialog_log.h"
#include "toolkit/dialog_screen.h"
#include "toolkit/dialog_test_support.h"
#include "toolkit/modal_dialog.h"

namespace corvane::tk {
namespace {

bool has(const std::vector<std::string>& events, const std::string& event) {
  return std::find(events.begin(), events.end(), event) != events.end();
}

// Rectangles as tight as the plug-in's own dialogs: labels narrower than
// their text in cells, a text that needs more lines than its rectangle, a
// button three units under a frame, a slider ending where its number box
// starts; and a Close far down, beyond a 40-line terminal.
struct NoProcedure final : DialogProcedure {
  void onOpen(DialogWindow&) override {}
  void onCommand(DialogWindow& window, std::int32_t id) override {
    if (id == kCommandCancel) window.endDialog(7);
  }
  void onChanged(DialogWindow&) override {}
};

const DialogTemplate& tightDialog() {
  static constexpr std::array<ControlTemplate, 8> controls{{
      {kNoControlId, ControlKind::GroupBox, {5, 3, 295, 78}, "Color"},
      {kNoControlId, ControlKind::StaticText, {10, 20, 32, 8}, "Saturation"},
      {40, ControlKind::PushLikeCheckBox, {45, 20, 55, 12}, "0"},
      {41, ControlKind::PushLikeCheckBox, {100, 20, 55, 12}, "1"},
      {kNoControlId,
       ControlKind::StaticText,
       {50, 33, 100, 17},
       "(Warning : Recording stops if the incorrect video format is used on input.)"},
      {42, ControlKind::CheckBox, {10, 52, 80, 10}, "Below"},
      {43, ControlKind::DefaultPushButton, {250, 81, 50, 14}, "Apply"},
      {kCommandCancel, ControlKind::PushButton, {250, 500, 50, 14}, "Close"},
  }};
  static constexpr DialogTemplate dialog{kTestDialogId, "Tight", {0, 0, 307, 520}, controls};
  return dialog;
}

std::size_t rowWith(const std::vector<std::string>& lines, const std::string& text) {
  for (std::size_t n = 0; n < lines.size(); ++n)
    if (lines[n].find(text) != std::string::npos) return n;
  return lines.size();
}

TEST(DialogScreen, TextsAreNeverCutAndNothingRunsIntoItsNeighbour) {
  detail::DialogLog log(std::nullopt);
  NoProcedure procedure;
  detail::ModalDialog window(tightDialog(), procedure, log);
  window.open();
  for (const int columns : {80, 60}) {
    const auto lines = detail::drawDialog(window, {}, columns).lines;
    ASSERT_FALSE(lines.empty());
    EXPECT_LE(lines[0].size(), static_cast<std::size_t>(columns)) << "the scale shrinks to fit";
    const std::size_t label = rowWith(lines, "Saturation");
    ASSERT_LT(label, lines.size());
    const std::string& row = lines[label];
    EXPECT_LT(row.find("Saturation") + 10, row.find("[ 0 ]")) << row;
    EXPECT_LT(row.find("[ 0 ]") + 5, row.find("[ 1 ]")) << row;
    // All three lines of the wrapped text, and the box after them.
    const std::size_t warning = rowWith(lines, "(Warning");
    EXPECT_NE(rowWith(lines, "input.)"), lines.size());
    EXPECT_GT(rowWith(lines, "[ ] Below"), rowWith(lines, "input.)"));
    EXPECT_GT(rowWith(lines, "input.)"), warning);
    // The button under the frame, not on it.
    const std::size_t apply = rowWith(lines, "< Apply >");
    ASSERT_LT(apply, lines.size());
    EXPECT_EQ(lines[apply - 1].find("< Apply >"), std::string::npos);
    EXPECT_NE(lines[apply - 1].find("+---"), std::string::npos) << "the frame's bottom is the row above";
    for (const auto& line : lines) EXPECT_EQ(line.size(), lines[0].size()) << line;
  }
  window.escape();
  window.finish();
}

TEST(TtyFrontEnd, ATallDialogScrollsToTheFocusAndClosesFromThere) {
  testing::PtyChild child({{"CORVANE_DIALOGS", "tty"}, {"CORVANE_DIALOG_LOG", ""}}, [] {
    NoProcedure procedure;
    return detail::runDialogFromEnvironment(tightDialog(), procedure) == 7 ? 0 : 10;
  });
  ASSERT_TRUE(child.waitFor("+- Tight")) << child.allOutput();
  child.type("\t\t\t\t");  // past the boxes and Apply, to Close
  ASSERT_TRUE(child.waitFor(">< Close >")) << child.takeOutput();
  const std::string screens = child.takeOutput();
  const std::string last = screens.substr(screens.rfind("\x1b[2J"));
  EXPECT_EQ(last.find("+- Tight"), std::string::npos) << "the top has scrolled away";
  child.type("\r");
  const int status = child.wait();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(TtyFrontEnd, KeysMoveTheFocusClickStepTheSliderAndTypeANumber) {
  testing::PtyChild child({{"CORVANE_DIALOGS", "tty"}, {"CORVANE_DIALOG_LOG", ""}}, [] {
    mFLT64 phase(0.0);
    TestProcedure procedure(phase);
    const std::int32_t result = detail::runDialogFromEnvironment(testDialog(), procedure);
    if (result != 5) return 10;
    if (phase.Get() != -7.5) return 11;
    if (!has(procedure.events, "command 12") || has(procedure.events, "command 13")) return 12;
    if (!has(procedure.events, "changed 10.000000")) return 13;
    return 0;
  });
  ASSERT_TRUE(child.waitFor("< Close >")) << child.allOutput();
  EXPECT_NE(child.takeOutput().find(">(*) Left"), std::string::npos);

  child.type("\x1b[B ");  // down to "Right", then click it
  ASSERT_TRUE(child.waitFor(">(*) Right")) << child.takeOutput();
  child.type("\t\t\t\x1b[C\x1b[C");  // past the boxes to the slider, two steps right
  ASSERT_TRUE(child.waitFor("] 2 ")) << child.takeOutput();
  child.type("\x1b[5~");  // a page up: to the next multiple of ten
  ASSERT_TRUE(child.waitFor("] 10 ")) << child.takeOutput();
  child.type("\t-7x.5");  // into the number box; the letter is not taken
  ASSERT_TRUE(child.waitFor(">[-7.5_")) << child.takeOutput();
  child.type("\r");
  ASSERT_TRUE(child.waitFor("] -7.5 ")) << child.takeOutput();
  child.type("\x1b");
  const int status = child.wait();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// The slider over the same variable runs from -127 to 127; what is typed into
// the number box is the user's value all the same, and reaches the variable
// as typed, wherever it lies.
TEST(TtyFrontEnd, AValueTypedIntoTheNumberBoxReachesTheVariableUnchanged) {
  const struct {
    const char* typed;
    const char* changed;  // the procedure's note of the variable's new value
    const char* shown;    // the slider's number afterwards
  } values[] = {
      {"300", "changed 300.000000", "] 300 "},
      {"-1000.25", "changed -1000.250000", "] -1000.25 "},
      {"127.5", "changed 127.500000", "] 127.5 "},
      {"-127", "changed -127.000000", "] -127 "},
  };
  testing::PtyChild child({{"CORVANE_DIALOGS", "tty"}, {"CORVANE_DIALOG_LOG", ""}}, [&values] {
    mFLT64 phase(0.0);
    TestProcedure procedure(phase);
    if (detail::runDialogFromEnvironment(testDialog(), procedure) != 5) return 10;
    for (std::size_t i = 0; i < std::size(values); ++i)
      if (!has(procedure.events, values[i].changed)) return 20 + static_cast<int>(i);
    return phase.Get() == -127.0 ? 0 : 30;
  });
  ASSERT_TRUE(child.waitFor("< Close >")) << child.allOutput();
  child.type("\x1b[B \t\t\t\t");  // to "Right", then past the two boxes and the slider
  for (const auto& value : values) {
    child.type(std::string(value.typed) + "\r");
    EXPECT_TRUE(child.waitFor(value.shown)) << value.typed << ": " << child.takeOutput();
  }
  child.type("\x1b");
  const int status = child.wait();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0) << "20 + the row whose value did not arrive";
}

}  // namespace
}  // namespace corvane::tk
