// The dialog host driven by scripts: what reaches the procedure, what the log
// says, how the value controls follow and leave their variables; the script
// reader; and the keys and screen of the terminal front end.
#include "toolkit/dialog_host.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/fake_clock.h"
#include "support/temp_dir.h"
#include "toolkit/dialog_screen.h"
#include "toolkit/dialog_test_support.h"
#include "toolkit/front_ends.h"
#include "toolkit/terminal_keys.h"

namespace corvane::tk {
namespace {

using detail::DialogLog;
using detail::ModalDialog;
using detail::ScriptAction;

struct ScriptRun {
  std::int32_t result;
  std::vector<std::string> log;
  std::vector<std::string> events;
  std::vector<std::uint32_t> sleeps;
};

ScriptRun runScript(const std::string& script, bool endsOnClose = true) {
  testing::TempDir dir;
  testing::FakeClock clock;
  mFLT64 phase(0.0);
  TestProcedure procedure(phase, endsOnClose);
  DialogLog log(dir / "dialogs.log");
  const auto parsed = detail::parseDialogScript(script);
  auto frontEnd = detail::makeScriptFrontEnd(
      parsed.blocks.empty() ? std::vector<ScriptAction>{} : parsed.blocks.front().actions, clock);
  const std::int32_t result = detail::runDialog(testDialog(), procedure, *frontEnd, log);
  return ScriptRun{result, testing::readLines(dir / "dialogs.log"), procedure.events, clock.sleeps};
}

TEST(DialogHost, AScriptedRunLogsEachStateAndDeliversEachMessage) {
  const ScriptRun run =
      runScript("dialog 900\nclick 12\nclick 13\nclick 14\nset 30 -12.9\nset 31 4\nwait 25\nclose\n");
  EXPECT_EQ(run.result, 5);
  EXPECT_EQ(run.log, (std::vector<std::string>{
                         "open 900",
                         "text 900 20 hello",
                         "state 900 11=1 12=0 13=0 14=0 30=0 31=0",
                         "state 900 11=0 12=1 13=0 14=0 30=0 31=0",  // the group follows the click
                         "state 900 11=0 12=1 13=1 14=0 30=0 31=0",
                         "state 900 11=0 12=1 13=1 14=1 30=0 31=0",
                         "state 900 11=0 12=1 13=1 14=1 30=-12.9 31=-12.9",
                         "state 900 11=0 12=1 13=1 14=1 30=4 31=4",
                         "state 900 11=0 12=1 13=1 14=1 30=4 31=4",
                         "close 900 5",
                     }));
  EXPECT_EQ(run.events, (std::vector<std::string>{"open", "command 12", "command 13", "command 14",
                                                  "changed -12.900000", "changed 4.000000", "command 2"}));
  EXPECT_EQ(run.sleeps, (std::vector<std::uint32_t>{10, 10, 5}));
}

TEST(DialogHost, ClicksOfTickedAndUnknownControlsAndTheEndOfTheActions) {
  const struct {
    const char* name;
    std::string script;
    bool endsOnClose;
    std::int32_t result;
    std::vector<std::string> states;  // the state lines, without the dialog id
    std::vector<std::string> events;
  } cases[] = {
      {"no actions: closed at once as Escape",
       "",
       true,
       5,
       {"11=1 12=0 13=0 14=0 30=0 31=0"},
       {"open", "command 2"}},
      {"a ticked radio button stays ticked and still commands",
       "dialog 900\nclick 11\nclick 13\nclick 13\n",
       true,
       5,
       {"11=1 12=0 13=0 14=0 30=0 31=0", "11=1 12=0 13=0 14=0 30=0 31=0", "11=1 12=0 13=1 14=0 30=0 31=0",
        "11=1 12=0 13=0 14=0 30=0 31=0"},
       {"open", "command 11", "command 13", "command 13", "command 2"}},
      {"unknown controls change nothing and stop nothing",
       "dialog 900\nclick 77\nset 13 3\nset 20 1\n",
       true,
       5,
       {"11=1 12=0 13=0 14=0 30=0 31=0", "11=1 12=0 13=0 14=0 30=0 31=0", "11=1 12=0 13=0 14=0 30=0 31=0",
        "11=1 12=0 13=0 14=0 30=0 31=0"},
       {"open", "command 2"}},
      {"a procedure that ignores cancel is closed all the same",
       "dialog 900\nclose\n",
       false,
       kCommandCancel,
       {"11=1 12=0 13=0 14=0 30=0 31=0", "11=1 12=0 13=0 14=0 30=0 31=0"},
       {"open", "command 2", "command 2"}},
      {"actions after the end are not played",
       "dialog 900\nclose\nclick 13\n",
       true,
       5,
       {"11=1 12=0 13=0 14=0 30=0 31=0"},
       {"open", "command 2"}},
  };
  for (const auto& c : cases) {
    ::testing::internal::CaptureStderr();
    const ScriptRun run = runScript(c.script, c.endsOnClose);
    const std::string errors = ::testing::internal::GetCapturedStderr();
    std::vector<std::string> states;
    for (const std::string& line : run.log) {
      if (line.rfind("state 900 ", 0) == 0) states.push_back(line.substr(10));
    }
    EXPECT_EQ(run.result, c.result) << c.name;
    EXPECT_EQ(run.log.back(), "close 900 " + std::to_string(c.result)) << c.name;
    EXPECT_EQ(states, c.states) << c.name;
    EXPECT_EQ(run.events, c.events) << c.name;
    if (c.script.find("77") != std::string::npos) {
      EXPECT_NE(errors.find("dialog 900 has no control 77 to click"), std::string::npos) << errors;
      EXPECT_NE(errors.find("dialog 900 has no slider or number box over 20"), std::string::npos) << errors;
    }
  }
}

TEST(DialogHost, ValueControlsFollowTheirVariableAndLeaveItWithTheDialog) {
  DialogLog log(std::nullopt);
  auto first = std::make_unique<mFLT64>(1.0);
  mFLT64 second(2.0);
  TestProcedure procedure(*first);
  int redraws = 0;
  {
    ModalDialog window(testDialog(), procedure, log);
    window.onRedraw = [&] { ++redraws; };
    window.open();
    ASSERT_EQ(window.controlOver(6), procedure.slider.get());
    ASSERT_EQ(window.controlOver(7), procedure.edit.get());

    redraws = 0;
    first->Set(3.0, nullptr, false);
    EXPECT_GT(redraws, 0);
    procedure.slider->ChangeVariable(&second);
    EXPECT_EQ(procedure.slider->GetValue(), 2.0);
    redraws = 0;
    procedure.edit->ChangeVariable(&second);
    first->Set(4.0, nullptr, false);  // reaches the dialog itself only
    const int afterFirst = redraws;
    second.Set(5.0, nullptr, false);  // both controls redraw
    EXPECT_EQ(redraws - afterFirst, 2);

    // A control destroyed while its dialog is open leaves the dialog too.
    procedure.edit.reset();
    EXPECT_EQ(window.controlOver(7), nullptr);
    window.escape();
    window.finish();
  }
  EXPECT_EQ(procedure.slider->variable(), nullptr);
  // Off every dependant list: the variables may go first, the slider later.
  first.reset();
  second.Set(6.0, nullptr, false);
  EXPECT_EQ(procedure.slider->GetValue(), 0.0);
}

TEST(DialogHost, SliderStepsAndNumberTexts) {
  mFLT64 value(0.0);
  mFLT64 low(-127.0);
  mFLT64 high(127.0);
  TKSlider slider;
  slider.OpenControl(nullptr, 0, 0, 10.0f, 10.0f, 0, &value, &low, &high, nullptr, nullptr, nullptr);
  const struct {
    double from;
    int direction;
    double step;
    double to;
  } steps[] = {
      {0.0, +1, 1.0, 1.0},     {-12.9, -1, 1.0, -13.0},    {-12.9, +1, 1.0, -12.0}, {126.5, +1, 1.0, 127.0},
      {127.0, +1, 1.0, 127.0}, {-127.0, -1, 10.0, -127.0}, {3.0, -1, 10.0, 0.0},    {300.0, -1, 1.0, 127.0},
  };
  for (const auto& s : steps) {
    value.Set(s.from, nullptr, false);
    EXPECT_EQ(slider.stepped(s.direction, s.step), s.to) << s.from << " " << s.direction;
  }

  // Typed values outside the slider's range over the same variable are kept.
  TKFLT64Edit edit;
  edit.OpenControl(nullptr, 0, 0, 10.0f, 10.0f, &value);
  const struct {
    const char* text;
    bool taken;
    double value;
  } texts[] = {{"-12.9", true, -12.9}, {"300", true, 300.0}, {"-1000.5", true, -1000.5}, {"4", true, 4.0},
               {"12x", false, 4.0},    {"", false, 4.0},     {"inf", false, 4.0},        {"-", false, 4.0}};
  for (const auto& t : texts) {
    EXPECT_EQ(edit.SetEditString(t.text), t.taken) << t.text;
    EXPECT_EQ(value.Get(), t.value) << t.text;
  }
  EXPECT_EQ(edit.GetEditString(), "4");
}

TEST(DialogScript, LinesBecomeBlocksAndBadLinesAreNamed) {
  const auto script = detail::parseDialogScript(
      "set 1 2\n"
      "# a comment\n"
      "dialog 103\r\n"
      "  click 1004  \n"
      "\n"
      "set 1016 -12.9\n"
      "wait 100\n"
      "dialog 102\n"
      "close\n"
      "click x\n"
      "set 5\n"
      "wait -3\n"
      "jump 4\n"
      "dialog\n");
  ASSERT_EQ(script.blocks.size(), 2u);
  EXPECT_EQ(script.blocks[0].dialogId, 103);
  ASSERT_EQ(script.blocks[0].actions.size(), 3u);
  EXPECT_EQ(script.blocks[0].actions[0].kind, ScriptAction::Kind::Click);
  EXPECT_EQ(script.blocks[0].actions[0].id, 1004);
  EXPECT_EQ(script.blocks[0].actions[1].kind, ScriptAction::Kind::Set);
  EXPECT_EQ(script.blocks[0].actions[1].id, 1016);
  EXPECT_EQ(script.blocks[0].actions[1].value, -12.9);
  EXPECT_EQ(script.blocks[0].actions[2].milliseconds, 100u);
  ASSERT_EQ(script.blocks[1].actions.size(), 1u);
  EXPECT_EQ(script.blocks[1].actions[0].kind, ScriptAction::Kind::Close);
  EXPECT_EQ(script.problems, (std::vector<std::string>{
                                 "line 1: action before any dialog line", "line 10: click needs a control id",
                                 "line 11: not an action: set", "line 12: wait needs milliseconds",
                                 "line 13: not an action: jump", "line 14: dialog needs a resource id"}));
}

TEST(DialogScript, EachOpeningTakesTheNextBlockForItsId) {
  testing::TempDir dir;
  const std::string path = dir / "script.txt";
  std::ofstream(path) << "dialog 5\nclick 1\ndialog 6\nclick 2\ndialog 5\nclick 3\n";
  const auto ids = [](const std::vector<ScriptAction>& actions) {
    std::vector<std::int32_t> out;
    for (const auto& a : actions) out.push_back(a.id);
    return out;
  };
  EXPECT_EQ(ids(detail::takeScriptedActions(path, 5)), std::vector<std::int32_t>{1});
  EXPECT_EQ(ids(detail::takeScriptedActions(path, 5)), std::vector<std::int32_t>{3});
  EXPECT_TRUE(detail::takeScriptedActions(path, 5).empty());
  EXPECT_EQ(ids(detail::takeScriptedActions(path, 6)), std::vector<std::int32_t>{2});
}

TEST(TerminalKeys, BytesAndSequences) {
  using detail::Key;
  const struct {
    std::string bytes;
    Key key;
    char character;
  } cases[] = {
      {"\t", Key::Tab, 0},         {"\x1b[Z", Key::BackTab, 0},
      {"\x1b[A", Key::Up, 0},      {"\x1b[B", Key::Down, 0},
      {"\x1bOC", Key::Right, 0},   {"\x1b[D", Key::Left, 0},
      {"\x1b[5~", Key::PageUp, 0}, {"\x1b[6~", Key::PageDown, 0},
      {"\x1b[1;5D", Key::Left, 0}, {"\x1b", Key::Escape, 0},
      {"\r", Key::Enter, 0},       {" ", Key::Space, 0},
      {"\x7f", Key::Backspace, 0}, {"7", Key::Character, '7'},
      {"\x1b[3~", Key::None, 0},   {"\x01", Key::None, 0},
      {"", Key::None, 0},
  };
  for (const auto& c : cases) {
    std::size_t at = 0;
    const auto next = [&](int) -> std::optional<std::uint8_t> {
      if (at >= c.bytes.size()) return std::nullopt;
      return static_cast<std::uint8_t>(c.bytes[at++]);
    };
    const detail::KeyPress press = detail::readKey(next, 0);
    EXPECT_EQ(press.key, c.key) << c.bytes.substr(1);
    EXPECT_EQ(press.character, c.character);
    EXPECT_EQ(at, c.bytes.size()) << "every byte of the key is read";
  }
}

TEST(DialogScreen, ControlsAtTheirPlacesWithTheFocusMarked) {
  DialogLog log(std::nullopt);
  mFLT64 phase(-12.9);
  TestProcedure procedure(phase);
  ModalDialog window(testDialog(), procedure, log);
  window.open();
  window.setChecked(14, true);
  const auto lines = detail::drawDialog(window, {6, std::nullopt}).lines;
  ASSERT_EQ(lines.size(), 15u);
  EXPECT_EQ(lines[0].substr(0, 10), "+- Test --");
  EXPECT_EQ(lines[1].substr(0, 20), "| +- Source --------");
  EXPECT_EQ(lines[2].substr(0, 35), "| |(*) Left               [*3*]    ");
  EXPECT_EQ(lines[3].substr(0, 15), "| |( ) Right   ");
  EXPECT_EQ(lines[5].substr(0, 15), "| |[ ] Keep    ");
  EXPECT_EQ(lines[8].substr(0, 10), "|  hello  ");
  const std::string& controls = lines[10];
  EXPECT_EQ(controls.substr(0, 3), "| >");
  // The knob a little left of the middle of the track, as -12.9 lies in -127 to 127.
  const auto open = controls.find('['), knob = controls.find('O'), close = controls.find(']');
  ASSERT_TRUE(open < knob && knob < close) << controls;
  const double share = static_cast<double>(knob - open - 1) / static_cast<double>(close - open - 2);
  EXPECT_GT(share, 0.35);
  EXPECT_LT(share, 0.5);
  EXPECT_NE(controls.find("] -12.9   [-12.9]"), std::string::npos) << controls;
  EXPECT_NE(lines[12].find("< Close >"), std::string::npos);
  for (const auto& line : lines) EXPECT_EQ(line.size(), lines[0].size()) << line;
  EXPECT_EQ(lines[14].substr(0, 3), "+--");

  // Typing into the number box shows the text being typed, not the value.
  const auto typing = detail::drawDialog(window, {7, std::string("-7")}).lines;
  EXPECT_NE(typing[10].find(">[-7_  ]"), std::string::npos) << typing[10];
  window.escape();
  window.finish();
}

}  // namespace
}  // namespace corvane::tk
