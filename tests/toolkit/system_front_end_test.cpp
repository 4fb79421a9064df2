// The system dialog front end against a stand-in for the system's dialog that
// behaves as its controls do (auto buttons, a trackbar of whole positions, an
// edit box of text): the same script gives the same log and the same messages
// as the toolkit's own script front end, and the real controls show the
// values.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>

#include "support/fake_clock.h"
#include "support/temp_dir.h"
#include "toolkit/dialog_host.h"
#include "toolkit/dialog_test_support.h"
#include "toolkit/front_ends.h"

namespace corvane::tk {
namespace {

using detail::DialogLog;
using detail::ScriptAction;

struct Slider {
  int low;
  int high;
  int position;
};

class FakeSystemDialog final : public platform::NativeDialog {
 public:
  void setText(std::int32_t id, std::string_view text) override { texts[id] = std::string(text); }
  std::string text(std::int32_t id) const override {
    auto found = texts.find(id);
    return found != texts.end() ? found->second : "";
  }
  bool checked(std::int32_t id) const override {
    auto found = ticks.find(id);
    return found != ticks.end() && found->second;
  }
  void setChecked(std::int32_t id, bool checked) override { ticks[id] = checked; }
  bool click(std::int32_t id) override {
    const auto& controls = testDialog().controls;
    std::size_t at = 0;
    while (at < controls.size() && controls[at].id != id) ++at;
    if (at == controls.size()) return false;
    if (controls[at].kind == ControlKind::RadioButton) {
      std::size_t first = at;
      while (first > 0 && controls[first - 1].kind == ControlKind::RadioButton) --first;
      for (std::size_t i = first; i < controls.size() && controls[i].kind == ControlKind::RadioButton; ++i)
        ticks[controls[i].id] = i == at;
    } else if (controls[at].kind == ControlKind::CheckBox ||
               controls[at].kind == ControlKind::PushLikeCheckBox) {
      ticks[id] = !ticks[id];
    }
    // A message loop inside the procedure's handling (a message box) would
    // deliver what was posted to the dialog, a resume among it.
    if (id == nestedLoopOn) events->onResume();
    events->onCommand(id);
    return true;
  }
  void showSlider(std::int32_t id, int low, int high, int position) override {
    sliders[id] = {low, high, position};
  }
  bool moveSlider(std::int32_t id, int position) override {
    auto found = sliders.find(id);
    if (found == sliders.end() || position < found->second.low || position > found->second.high) return false;
    found->second.position = position;
    events->onSliderMoved(id, position);
    return true;
  }
  void showNumberBox(std::int32_t id, std::string_view text) override { boxes[id] = std::string(text); }
  std::string numberText(std::int32_t id) const override {
    auto found = boxes.find(id);
    return found != boxes.end() ? found->second : "";
  }
  bool typeNumber(std::int32_t id, std::string_view text) override {
    if (!boxes.contains(id)) return false;
    boxes[id] = std::string(text);
    events->onNumberTyped(id, boxes[id], false);
    events->onNumberTyped(id, boxes[id], true);
    return true;
  }
  void removeValueControl(std::int32_t id) override {
    sliders.erase(id);
    boxes.erase(id);
  }
  void resumeAfter(std::uint32_t ms) override { pending.push_back(ms); }
  void end(std::int32_t result) override { ended = result; }

  platform::NativeDialogEvents* events = nullptr;
  std::map<std::int32_t, std::string> texts;
  std::map<std::int32_t, bool> ticks;
  std::map<std::int32_t, Slider> sliders;
  std::map<std::int32_t, std::string> boxes;
  std::deque<std::uint32_t> pending;
  std::vector<std::uint32_t> resumes;  // the delays of the resumes, in order
  std::optional<std::int32_t> ended;
  std::function<void(FakeSystemDialog&)> user;  // what a user does once it is open
  bool available = true;
  std::int32_t nestedLoopOn = kNoControlId;
};

FakeSystemDialog* current = nullptr;

// The modal run: the opening, then resumes and ticks until the dialog ends or
// nothing is left to come; the window goes at the end.
std::optional<std::int32_t> runFake(std::int32_t, platform::NativeDialogEvents& events) {
  FakeSystemDialog& dialog = *current;
  if (!dialog.available) return std::nullopt;
  dialog.events = &events;
  events.onOpen(dialog);
  if (dialog.user && !dialog.ended) dialog.user(dialog);
  while (!dialog.ended && !dialog.pending.empty()) {
    dialog.resumes.push_back(dialog.pending.front());
    dialog.pending.pop_front();
    events.onTick();
    events.onResume();
  }
  events.onClose();
  return dialog.ended.value_or(kCommandCancel);
}

struct DialogRun {
  std::optional<std::int32_t> result;
  std::vector<std::string> log;
  std::vector<std::string> events;
  double phase;
};

std::vector<ScriptAction> actionsOf(const std::string& script) {
  const auto parsed = detail::parseDialogScript(script);
  return parsed.blocks.empty() ? std::vector<ScriptAction>{} : parsed.blocks.front().actions;
}

DialogRun runOnSystem(FakeSystemDialog& system, std::optional<std::vector<ScriptAction>> actions) {
  testing::TempDir dir;
  mFLT64 phase(0.0);
  TestProcedure procedure(phase);
  DialogLog log(dir / "dialogs.log");
  current = &system;
  const auto result = detail::runSystemDialog(testDialog(), procedure, log, std::move(actions), &runFake);
  current = nullptr;
  return DialogRun{result, testing::readLines(dir / "dialogs.log"), procedure.events, phase.Get()};
}

DialogRun runOnScriptFrontEnd(const std::string& script) {
  testing::TempDir dir;
  testing::FakeClock clock;
  mFLT64 phase(0.0);
  TestProcedure procedure(phase);
  DialogLog log(dir / "dialogs.log");
  auto frontEnd = detail::makeScriptFrontEnd(actionsOf(script), clock);
  const std::int32_t result = detail::runDialog(testDialog(), procedure, *frontEnd, log);
  return DialogRun{result, testing::readLines(dir / "dialogs.log"), procedure.events, phase.Get()};
}

TEST(SystemDialog, AScriptGivesTheLogAndMessagesOfTheToolkitsOwnFrontEnd) {
  // Whole and fractional slider values, one beyond the knob's range, a value
  // with more digits than %g shows, unknown controls, a wait and the close.
  const std::string script =
      "dialog 900\nclick 12\nclick 13\nclick 14\nclick 14\nset 30 -12.9\nset 31 4\nwait 25\nset 30 20\n"
      "set 30 500\nset 31 1.2345678\nclick 12\nclick 77\nset 13 1\nclose\n";
  FakeSystemDialog system;
  const DialogRun onSystem = runOnSystem(system, actionsOf(script));
  const DialogRun own = runOnScriptFrontEnd(script);
  EXPECT_EQ(onSystem.result, own.result);
  EXPECT_EQ(onSystem.log, own.log);
  EXPECT_EQ(onSystem.events, own.events);
  EXPECT_EQ(onSystem.phase, 1.2345678) << "leaving a box that shows 1.23457 must not cut the value";
  EXPECT_EQ(onSystem.log.back(), "close 900 5");
  EXPECT_EQ(system.resumes, (std::vector<std::uint32_t>{0, 25}));
  // The real controls show what the log says: the knob at the nearest whole
  // position, the box the value's text.
  EXPECT_EQ(system.sliders.at(30).position, 1);
  EXPECT_EQ(system.sliders.at(30).low, -127);
  EXPECT_EQ(system.sliders.at(30).high, 127);
  EXPECT_EQ(system.boxes.at(31), "1.23457");
  EXPECT_EQ(system.texts.at(20), "hello");
  EXPECT_TRUE(system.checked(12));
  EXPECT_FALSE(system.checked(11));
}

TEST(SystemDialog, AResumeFromALoopInsideAnActionWaitsForThatAction) {
  const std::string script = "dialog 900\nclick 13\nclick 12\nset 31 2\n";
  FakeSystemDialog system;
  system.nestedLoopOn = 13;
  const DialogRun onSystem = runOnSystem(system, actionsOf(script));
  const DialogRun own = runOnScriptFrontEnd(script);
  EXPECT_EQ(onSystem.log, own.log);
  EXPECT_EQ(onSystem.events, own.events);
}

TEST(SystemDialog, TheLogReadsTheRealControls) {
  FakeSystemDialog system;
  // A box ticked by the system alone (the toolkit never heard of it), then a
  // command nobody handles: the state logged is the control's.
  system.user = [](FakeSystemDialog& d) {
    d.ticks[13] = true;
    d.events->onCommand(99);
    d.events->onCommand(kCommandCancel);
  };
  const DialogRun run = runOnSystem(system, std::nullopt);
  ASSERT_GE(run.log.size(), 4u);
  EXPECT_EQ(run.log[run.log.size() - 2], "state 900 11=1 12=0 13=1 14=0 30=0 31=0");
}

TEST(SystemDialog, NoneClosesAtOnceAsEscape) {
  FakeSystemDialog system;
  const DialogRun run = runOnSystem(system, std::vector<ScriptAction>{});
  EXPECT_EQ(run.result, 5);
  EXPECT_EQ(run.log, (std::vector<std::string>{"open 900", "text 900 20 hello",
                                               "state 900 11=1 12=0 13=0 14=0 30=0 31=0", "close 900 5"}));
  EXPECT_EQ(run.events, (std::vector<std::string>{"open", "command 2"}));
}

TEST(SystemDialog, AUsersMovesAndTypingReachTheVariableAndEachIsLogged) {
  FakeSystemDialog system;
  std::vector<std::string> shown;
  system.user = [&](FakeSystemDialog& d) {
    d.click(12);
    d.moveSlider(30, 7);
    shown.push_back(d.boxes.at(31));
    // Typing on the way to a number keeps the user's text; leaving the box
    // logs the state once, and then the box shows the value's text.
    for (const char* typed : {"-", "-3", "-3."}) {
      d.boxes[31] = typed;
      d.events->onNumberTyped(31, typed, false);
    }
    shown.push_back(d.boxes.at(31));
    d.boxes[31] = "-3";
    d.events->onNumberTyped(31, "-3", true);
    shown.push_back(d.boxes.at(31));
    // No number: the box shows the value again and nothing changes.
    d.boxes[31] = "abc";
    d.events->onNumberTyped(31, "abc", true);
    shown.push_back(d.boxes.at(31));
    // More digits than the box shows; then in and out again without typing.
    d.boxes[31] = "2.7182818";
    d.events->onNumberTyped(31, "2.7182818", true);
    shown.push_back(d.boxes.at(31));
    d.events->onNumberTyped(31, d.boxes.at(31), true);
    d.events->onCommand(kCommandCancel);
  };
  const DialogRun run = runOnSystem(system, std::nullopt);
  EXPECT_EQ(run.result, 5);
  EXPECT_EQ(run.phase, 2.7182818) << "leaving a box that shows 2.71828 must not cut the value";
  EXPECT_EQ(shown, (std::vector<std::string>{"7", "-3.", "-3", "-3", "2.71828"}));
  EXPECT_EQ(system.sliders.at(30).position, 3);
  EXPECT_EQ(run.log, (std::vector<std::string>{
                         "open 900",
                         "text 900 20 hello",
                         "state 900 11=1 12=0 13=0 14=0 30=0 31=0",
                         "state 900 11=0 12=1 13=0 14=0 30=0 31=0",
                         "state 900 11=0 12=1 13=0 14=0 30=7 31=7",
                         "state 900 11=0 12=1 13=0 14=0 30=-3 31=-3",
                         "state 900 11=0 12=1 13=0 14=0 30=2.71828 31=2.71828",
                         "close 900 5",
                     }));
}

TEST(SystemDialog, NoSystemDialogLeavesTheRunToTheToolkit) {
  FakeSystemDialog system;
  system.available = false;
  const DialogRun run = runOnSystem(system, actionsOf("dialog 900\nclick 12\n"));
  EXPECT_FALSE(run.result.has_value());
  EXPECT_TRUE(run.log.empty());
  EXPECT_TRUE(run.events.empty());
}

}  // namespace
}  // namespace corvane::tk
