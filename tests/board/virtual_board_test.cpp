// The virtual board's call log, which tests of the plug-in read line by line,
// and the switcher's state.
#include "board/virtual_board.h"

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <set>
#include <thread>

#include "support/temp_dir.h"

namespace corvane::board {
namespace {

using engine::ControlType;
using engine::Handle;
using Lines = std::vector<std::string>;
constexpr ControlType kSelector = ControlType::Selector;
constexpr ControlType kInteger = ControlType::Integer;

class Board : public ::testing::Test {
 protected:
  Board() { config_.logPath = dir_ / "calls.log"; }

  Lines logLines() const { return testing::readLines(config_.logPath); }

  testing::TempDir dir_;
  BoardConfig config_;
};

TEST_F(Board, LogsEveryCallAsOneLineAndRefusesWhatIsNotOpen) {
  testing::writeFile(config_.logPath, "earlier line\n");
  VirtualBoard board(config_);
  engine::RealtimeEngine& engine = board;
  const std::array<std::uint8_t, 16> zeros{};
  std::int32_t format = 1, negative = -3;

  Handle sw = engine.OpenSwitcher("apps.Veltrix.Switcher123456");
  ASSERT_NE(sw, 0u);
  EXPECT_EQ(engine.SetInputControl(sw, 0, 0, "control.hue", kInteger, &negative), 1);
  EXPECT_EQ(engine.SwitcherCommand(sw, 0x814, zeros.data()), 1);
  EXPECT_EQ(engine.SetOutputControl(sw, 0, 0, nullptr, kSelector, &format), 0);
  EXPECT_EQ(engine.SetOutputControl(sw, 0, 0, "control.scphase", kSelector, nullptr), 0);
  EXPECT_EQ(engine.OpenSwitcher(nullptr), 0u);
  engine.CloseSwitcher(sw);
  EXPECT_EQ(engine.SetOutputControl(sw, 0, 0, "control.filter", kSelector, &format), 0);
  EXPECT_EQ(engine.SwitcherCommand(sw, 0xABC, nullptr), 0);
  EXPECT_EQ(engine.CurrentFrameCount(sw, 0, 0), 0u);

  EXPECT_NE(engine.OpenEngine(), 0u);
  EXPECT_EQ(engine.CreateProbe(0, "media.apps.Veltrix.probe"), 0u) << "no engine object";
  EXPECT_EQ(engine.AttachProbe(0, "media.pins.corvane.vin0.out"), 0);
  EXPECT_EQ(engine.AttachProbe(0, nullptr), 0);
  board.ReturnInputFrame(2, 77);

  EXPECT_EQ(
      logLines(),
      (Lines{"earlier line", "OpenSwitcher apps.Veltrix.Switcher123456", "SetInputControl control.hue 4 -3",
             "SwitcherCommand 0x814", "SetOutputControl (null) 5 1",
             "SetOutputControl control.scphase 5 (null)", "OpenSwitcher (null)", "CloseSwitcher",
             "SetOutputControl control.filter 5 1", "SwitcherCommand 0xabc", "CurrentFrameCount 0",
             "OpenEngine", "CreateProbe media.apps.Veltrix.probe", "AttachProbe media.pins.corvane.vin0.out",
             "AttachProbe (null)", "ReturnInputFrame 2 77"}));
  EXPECT_EQ(board.switcher().outputControl("control.filter"), std::nullopt);
}

TEST_F(Board, KeepsTheLatestValueOfEachControlPerSideAndCountsFramesForOpenSwitchersOnly) {
  config_.logPath = dir_ / "missing/calls.log";  // a log that cannot be opened stops nothing
  VirtualBoard board(config_);
  EXPECT_FALSE(board.logUsable());
  Handle first = board.OpenSwitcher("apps.Veltrix.Switcher1");
  Handle second = board.OpenSwitcher("apps.Veltrix.Switcher2");
  EXPECT_TRUE(first != 0 && second != 0 && first != second);
  std::int32_t zero = 0, two = 2;
  board.SetOutputControl(first, 0, 0, "control.pedestal", kSelector, &zero);
  board.SetInputControl(first, 0, 0, "control.pedestal", kSelector, &zero);
  board.SetOutputControl(first, 0, 0, "control.pedestal", kSelector, &two);
  EXPECT_EQ(board.switcher().outputControl("control.pedestal"), (ControlSetting{kSelector, 2}));
  EXPECT_EQ(board.switcher().inputControl("control.pedestal"), (ControlSetting{kSelector, 0}));
  board.switcher().setFrameCount(0xfffffffe);
  board.CloseSwitcher(first);
  EXPECT_EQ(board.CurrentFrameCount(first, 0, 0), 0u);
  EXPECT_EQ(board.CurrentFrameCount(second, 0, 0), 0xfffffffeu);
}

TEST_F(Board, LinesFromManyThreadsStayWhole) {
  VirtualBoard board(config_);
  Handle sw = board.OpenSwitcher("apps.Veltrix.Switcher1");
  constexpr int kThreads = 4, kCalls = 300;
  auto name = [](int t) { return "control.thread" + std::to_string(t) + std::string(200, 'x'); };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (std::int32_t i = 0; i < kCalls; ++i) {
        board.SetInputControl(sw, 0, 0, name(t).c_str(), kInteger, &i);
        board.OpenEngine();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  std::multiset<std::string> expected{"OpenSwitcher apps.Veltrix.Switcher1"};
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kCalls; ++i) {
      expected.insert("SetInputControl " + name(t) + " 4 " + std::to_string(i));
      expected.insert("OpenEngine");
    }
  }
  const Lines lines = logLines();
  EXPECT_EQ(std::multiset<std::string>(lines.begin(), lines.end()), expected);
}

}  // namespace
}  // namespace corvane::board
