// The virtual board's switcher and its call log, which tests of the plug-in
// read line by line.
#include "board/virtual_board.h"

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <thread>

namespace corvane::board {
namespace {

using engine::ControlType;
using engine::Handle;
using Lines = std::vector<std::string>;
constexpr ControlType kSelector = ControlType::Selector;
constexpr ControlType kInteger = ControlType::Integer;

class Board : public ::testing::Test {
 protected:
  Board() {
    std::filesystem::create_directories(dir_);
    config_.logPath = (dir_ / "calls.log").string();
  }
  ~Board() override { std::filesystem::remove_all(dir_); }

  Lines logLines() const {
    std::ifstream in(config_.logPath, std::ios::binary);
    Lines lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  std::filesystem::path dir_ =
      std::filesystem::temp_directory_path() / ("corvane-board-" + std::to_string(std::random_device()()));
  BoardConfig config_;
};

TEST_F(Board, LogsEveryCallAsOneLineEvenWhenItDoesNothing) {
  std::ofstream(config_.logPath) << "earlier line\n";
  VirtualBoard board(config_);
  engine::RealtimeEngine& engine = board;
  const std::array<std::uint8_t, 16> zeros{};
  std::int32_t format = 1, contrast = 44, negative = -3;

  Handle sw = engine.OpenSwitcher("apps.Veltrix.Switcher123456");
  ASSERT_NE(sw, 0u);
  EXPECT_EQ(engine.SetOutputControl(sw, 0, 0, "control.format", kSelector, &format), 1);
  EXPECT_EQ(engine.SetInputControl(sw, 0, 0, "control.contrast", kInteger, &contrast), 1);
  EXPECT_EQ(engine.SetInputControl(sw, 0, 0, "control.hue", kInteger, &negative), 1);
  EXPECT_EQ(engine.SwitcherCommand(sw, 0x814, zeros.data()), 1);
  // A null name or value is refused.
  EXPECT_EQ(engine.SetOutputControl(sw, 0, 0, nullptr, kSelector, &format), 0);
  EXPECT_EQ(engine.SetOutputControl(sw, 0, 0, "control.scphase", kSelector, nullptr), 0);
  EXPECT_EQ(engine.OpenSwitcher(nullptr), 0u);
  engine.CloseSwitcher(sw);
  // Calls on a handle that is not open do nothing.
  EXPECT_EQ(engine.SetOutputControl(sw, 0, 0, "control.filter", kSelector, &format), 0);
  EXPECT_EQ(engine.SwitcherCommand(sw, 0xABC, nullptr), 0);
  EXPECT_EQ(engine.CurrentFrameCount(sw, 0, 0), 0u);
  EXPECT_EQ(engine.SetInputControl(0, 0, 0, "control.agc", kInteger, &contrast), 0);

  EXPECT_EQ(logLines(),
            (Lines{"earlier line", "OpenSwitcher apps.Veltrix.Switcher123456",
                   "SetOutputControl control.format 5 1", "SetInputControl control.contrast 4 44",
                   "SetInputControl control.hue 4 -3", "SwitcherCommand 0x814", "SetOutputControl (null) 5 1",
                   "SetOutputControl control.scphase 5 (null)", "OpenSwitcher (null)", "CloseSwitcher",
                   "SetOutputControl control.filter 5 1", "SwitcherCommand 0xabc", "CurrentFrameCount",
                   "SetInputControl control.agc 4 44"}));
  for (const char* name : {"control.filter", "control.scphase"})
    EXPECT_EQ(board.switcher().outputControl(name), std::nullopt);
  EXPECT_EQ(board.switcher().inputControl("control.agc"), std::nullopt);
}

TEST_F(Board, KeepsTheLatestValueOfEachControlPerSideAndCountsFrames) {
  VirtualBoard board(config_);
  Handle first = board.OpenSwitcher("apps.Veltrix.Switcher1");
  Handle second = board.OpenSwitcher("apps.Veltrix.Switcher2");
  EXPECT_TRUE(first != 0 && second != 0 && first != second);
  std::int32_t zero = 0, two = 2, gain = 120;
  board.SetOutputControl(first, 0, 0, "control.pedestal", kSelector, &zero);
  board.SetInputControl(first, 0, 0, "control.pedestal", kSelector, &two);
  board.SetOutputControl(first, 0, 0, "control.pedestal", kSelector, &two);
  board.SetInputControl(first, 0, 0, "control.ugain", kInteger, &gain);
  const Switcher& state = board.switcher();
  EXPECT_EQ(state.outputControl("control.pedestal"), (ControlSetting{kSelector, 2}));
  EXPECT_EQ(state.inputControl("control.pedestal"), (ControlSetting{kSelector, 2}));
  EXPECT_EQ(state.inputControl("control.ugain"), (ControlSetting{kInteger, 120}));
  EXPECT_EQ(state.outputControl("control.ugain"), std::nullopt);

  board.switcher().setFrameCount(0xfffffffe);
  board.CloseSwitcher(first);
  EXPECT_EQ(board.CurrentFrameCount(first, 0, 0), 0u);
  EXPECT_EQ(board.CurrentFrameCount(second, 0, 0), 0xfffffffeu);
}

TEST_F(Board, AbsentBoardRefusesToOpenAndABadLogLeavesTheBoardWorking) {
  ::setenv("CORVANE_BOARD", ("absent=1,log=" + config_.logPath).c_str(), 1);
  auto absent = makeBoardFromEnvironment();
  ::unsetenv("CORVANE_BOARD");
  EXPECT_EQ(absent->OpenSwitcher("apps.Veltrix.Switcher9"), 0u);
  EXPECT_EQ(logLines(), (Lines{"OpenSwitcher apps.Veltrix.Switcher9"}));

  config_.logPath = (dir_ / "missing" / "calls.log").string();
  VirtualBoard board(config_);
  EXPECT_FALSE(board.logUsable());
  std::int32_t value = 3;
  Handle sw = board.OpenSwitcher("apps.Veltrix.Switcher1");
  EXPECT_EQ(board.SetOutputControl(sw, 0, 0, "control.format", kSelector, &value), 1);
}

TEST_F(Board, LinesFromManyThreadsStayWhole) {
  VirtualBoard board(config_);
  Handle sw = board.OpenSwitcher("apps.Veltrix.Switcher1");
  constexpr int kThreads = 4, kCalls = 500;
  auto name = [](int t) { return "control.thread" + std::to_string(t) + std::string(200, 'x'); };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (std::int32_t i = 0; i < kCalls; ++i) {
        board.SetInputControl(sw, 0, 0, name(t).c_str(), kInteger, &i);
        board.SwitcherCommand(sw, static_cast<std::uint32_t>(t), nullptr);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  std::multiset<std::string> expected{"OpenSwitcher apps.Veltrix.Switcher1"};
  for (int t = 0; t < kThreads; ++t) {
    for (int i = 0; i < kCalls; ++i) {
      expected.insert("SetInputControl " + name(t) + " 4 " + std::to_string(i));
      expected.insert("SwitcherCommand 0x" + std::to_string(t));
    }
  }
  const Lines lines = logLines();
  EXPECT_EQ(std::multiset<std::string>(lines.begin(), lines.end()), expected);
}

// The output stream and the input probe do not exist yet: their entries must
// fail (give 0, hand out no memory) rather than look as if they worked.
TEST_F(Board, UnbuiltEntriesFailAndAreLogged) {
  VirtualBoard board(config_);
  void* data = &board;
  std::uint32_t cookie = 5;
  EXPECT_EQ(board.OpenOutputStream("media.apps.Veltrix", 0, 0, 0), 0u);
  EXPECT_EQ(board.AcquireOutputFrame(1, &data, &cookie), 0u);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(cookie, 0u);
  EXPECT_EQ(board.OpenEngine(), 0u);
  EXPECT_EQ(board.CreateProbe(0, "media.apps.Veltrix.probe"), 0u);
  EXPECT_EQ(board.AttachProbe(0, "media.pins.corvane.vin0.out"), 0);
  EXPECT_EQ(board.AttachProbe(0, nullptr), 0);
  board.ReturnInputFrame(0, 0);
  EXPECT_EQ(logLines(),
            (Lines{"OpenOutputStream media.apps.Veltrix 0", "AcquireOutputFrame", "OpenEngine",
                   "CreateProbe media.apps.Veltrix.probe", "AttachProbe media.pins.corvane.vin0.out",
                   "AttachProbe", "ReturnInputFrame"}));
}

}  // namespace
}  // namespace corvane::board
