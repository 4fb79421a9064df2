#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <set>
#include <thread>

#include "board/log_file.h"
#include "board/virtual_board.h"

namespace corvane::board {
namespace {

using engine::ControlType;
using engine::Handle;
using Lines = std::vector<std::string>;

class Switcher : public testing::LogDirectory {
 protected:
  std::unique_ptr<VirtualBoard> makeBoard(bool absent = false) {
    BoardConfig config;
    config.absent = absent;
    config.logPath = logPath_;
    return std::make_unique<VirtualBoard>(config);
  }
};

TEST_F(Switcher, LogsEachCallAsOneLineWithItsArguments) {
  auto board = makeBoard();
  engine::RealtimeEngine& engine = *board;
  const std::array<std::uint8_t, 16> zeros{};
  std::int32_t format = 1, contrast = 44, negative = -3;

  Handle sw = engine.OpenSwitcher("apps.Veltrix.Switcher123456");
  ASSERT_NE(sw, 0u);
  EXPECT_EQ(engine.SetOutputControl(sw, 0, 0, "control.format", ControlType::Selector, &format), 1);
  EXPECT_EQ(engine.SetInputControl(sw, 0, 0, "control.contrast", ControlType::Integer, &contrast), 1);
  EXPECT_EQ(engine.SetInputControl(sw, 0, 0, "control.hue", ControlType::Integer, &negative), 1);
  EXPECT_EQ(engine.SwitcherCommand(sw, 0x814, zeros.data()), 1);
  EXPECT_EQ(engine.CurrentFrameCount(sw, 0, 0), 0u);
  engine.CloseSwitcher(sw);

  EXPECT_EQ(logLines(), (Lines{"OpenSwitcher apps.Veltrix.Switcher123456", "SetOutputControl control.format 5 1",
                               "SetInputControl control.contrast 4 44", "SetInputControl control.hue 4 -3",
                               "SwitcherCommand 0x814", "CurrentFrameCount", "CloseSwitcher"}));
}

TEST_F(Switcher, AbsentBoardRefusesToOpenButLogsTheAttempts) {
  auto board = makeBoard(true);
  EXPECT_EQ(board->OpenSwitcher("apps.Veltrix.Switcher1"), 0u);
  EXPECT_EQ(board->OpenSwitcher("apps.Veltrix.Switcher2"), 0u);
  EXPECT_EQ(logLines(), (Lines{"OpenSwitcher apps.Veltrix.Switcher1", "OpenSwitcher apps.Veltrix.Switcher2"}));
}

TEST_F(Switcher, KeepsTheLatestValueOfEachControlPerSide) {
  auto board = makeBoard();
  Handle sw = board->OpenSwitcher("apps.Veltrix.Switcher1");
  std::int32_t first = 0, second = 2, gain = 120;
  board->SetOutputControl(sw, 0, 0, "control.pedestal", ControlType::Selector, &first);
  board->SetInputControl(sw, 0, 0, "control.pedestal", ControlType::Selector, &second);
  board->SetOutputControl(sw, 0, 0, "control.pedestal", ControlType::Selector, &second);
  board->SetInputControl(sw, 0, 0, "control.ugain", ControlType::Integer, &gain);

  const auto& state = board->switcher();
  EXPECT_EQ(state.outputControl("control.pedestal"), (ControlSetting{ControlType::Selector, 2}));
  EXPECT_EQ(state.inputControl("control.pedestal"), (ControlSetting{ControlType::Selector, 2}));
  EXPECT_EQ(state.inputControl("control.ugain"), (ControlSetting{ControlType::Integer, 120}));
  EXPECT_EQ(state.outputControl("control.ugain"), std::nullopt);
}

TEST_F(Switcher, CallsOnAHandleThatIsNotOpenAreLoggedAndDoNothing) {
  auto board = makeBoard();
  Handle sw = board->OpenSwitcher("apps.Veltrix.Switcher1");
  board->switcher().setFrameCount(77);
  board->CloseSwitcher(sw);
  std::int32_t value = 9;

  EXPECT_EQ(board->SetOutputControl(sw, 0, 0, "control.filter", ControlType::Selector, &value), 0);
  EXPECT_EQ(board->SwitcherCommand(sw, 0x814, nullptr), 0);
  EXPECT_EQ(board->CurrentFrameCount(sw, 0, 0), 0u);
  EXPECT_EQ(board->SetInputControl(0, 0, 0, "control.agc", ControlType::Integer, &value), 0);

  EXPECT_FALSE(board->switcher().isOpen(sw));
  EXPECT_EQ(board->switcher().outputControl("control.filter"), std::nullopt);
  EXPECT_EQ(board->switcher().inputControl("control.agc"), std::nullopt);
  Lines lines = logLines();
  EXPECT_EQ(Lines(lines.begin() + 2, lines.end()), (Lines{"SetOutputControl control.filter 5 9", "SwitcherCommand 0x814",
                                                         "CurrentFrameCount", "SetInputControl control.agc 4 9"}));
}

TEST_F(Switcher, NullNameOrValueIsLoggedAndRefused) {
  auto board = makeBoard();
  Handle sw = board->OpenSwitcher("apps.Veltrix.Switcher1");
  std::int32_t value = 1;
  EXPECT_EQ(board->SetOutputControl(sw, 0, 0, nullptr, ControlType::Selector, &value), 0);
  EXPECT_EQ(board->SetOutputControl(sw, 0, 0, "control.scphase", ControlType::Selector, nullptr), 0);
  EXPECT_EQ(board->OpenSwitcher(nullptr), 0u);
  EXPECT_EQ(board->switcher().outputControl("control.scphase"), std::nullopt);
  Lines lines = logLines();
  EXPECT_EQ(Lines(lines.begin() + 1, lines.end()),
            (Lines{"SetOutputControl (null) 5 1", "SetOutputControl control.scphase 5 (null)", "OpenSwitcher (null)"}));
}

TEST_F(Switcher, FrameCountAndHandlesPerOpenSwitcher) {
  auto board = makeBoard();
  Handle first = board->OpenSwitcher("apps.Veltrix.Switcher1");
  Handle second = board->OpenSwitcher("apps.Veltrix.Switcher2");
  EXPECT_NE(first, 0u);
  EXPECT_NE(second, 0u);
  EXPECT_NE(first, second);
  board->switcher().setFrameCount(0xfffffffe);
  EXPECT_EQ(board->CurrentFrameCount(first, 0, 0), 0xfffffffeu);
  board->CloseSwitcher(first);
  EXPECT_EQ(board->CurrentFrameCount(second, 0, 0), 0xfffffffeu);
  EXPECT_EQ(board->SwitcherCommand(0x2a, 0xABC, nullptr), 0);
  EXPECT_EQ(logLines().back(), "SwitcherCommand 0xabc");
}

TEST_F(Switcher, LinesFromManyThreadsStayWhole) {
  auto board = makeBoard();
  Handle sw = board->OpenSwitcher("apps.Veltrix.Switcher1");
  constexpr int kThreads = 4, kCalls = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      std::string name = "control.thread" + std::to_string(t) + std::string(200, 'x');
      for (std::int32_t i = 0; i < kCalls; ++i) {
        board->SetInputControl(sw, 0, 0, name.c_str(), ControlType::Integer, &i);
        board->SwitcherCommand(sw, static_cast<std::uint32_t>(t), nullptr);
      }
    });
  }
  for (auto& thread : threads) thread.join();

  std::multiset<std::string> expected{"OpenSwitcher apps.Veltrix.Switcher1"};
  for (int t = 0; t < kThreads; ++t) {
    std::string name = "control.thread" + std::to_string(t) + std::string(200, 'x');
    for (int i = 0; i < kCalls; ++i) {
      expected.insert("SetInputControl " + name + " 4 " + std::to_string(i));
      expected.insert("SwitcherCommand 0x" + std::to_string(t));
    }
    EXPECT_EQ(board->switcher().inputControl(name), (ControlSetting{ControlType::Integer, kCalls - 1}));
  }
  Lines lines = logLines();
  EXPECT_EQ(std::multiset<std::string>(lines.begin(), lines.end()), expected);
}

TEST_F(Switcher, AppendsToAnExistingLog) {
  {
    std::ofstream earlier(logPath_);
    earlier << "earlier line\n";
  }
  auto board = makeBoard();
  board->CloseSwitcher(0);
  EXPECT_EQ(logLines(), (Lines{"earlier line", "CloseSwitcher"}));
}

TEST_F(Switcher, UnwritableLogIsReportedAndTheBoardStillWorks) {
  BoardConfig config;
  config.logPath = (dir_ / "missing" / "calls.log").string();
  VirtualBoard board(config);
  EXPECT_FALSE(board.logUsable());
  std::int32_t value = 3;
  Handle sw = board.OpenSwitcher("apps.Veltrix.Switcher1");
  EXPECT_EQ(board.SetOutputControl(sw, 0, 0, "control.format", ControlType::Selector, &value), 1);
  EXPECT_FALSE(std::filesystem::exists(config.logPath));
}

TEST_F(Switcher, FactoryReadsTheEnvironment) {
  std::string setting = "absent=1,log=" + logPath_;
  ::setenv("CORVANE_BOARD", setting.c_str(), 1);
  auto absent = makeBoardFromEnvironment();
  ::unsetenv("CORVANE_BOARD");
  auto present = makeBoardFromEnvironment();

  EXPECT_EQ(absent->OpenSwitcher("apps.Veltrix.Switcher9"), 0u);
  EXPECT_NE(present->OpenSwitcher("apps.Veltrix.Switcher9"), 0u);
  EXPECT_EQ(logLines(), (Lines{"OpenSwitcher apps.Veltrix.Switcher9"}));
}

}  // namespace
}  // namespace corvane::board
