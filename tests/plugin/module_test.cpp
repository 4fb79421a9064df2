#include "plugin/module.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/profile.h"
#include "settings/config_store.h"
#include "support/config_sandbox.h"
#include "support/fake_board.h"
#include "support/fake_clock.h"

namespace corvane::plugin {
namespace {

using testing::ConfigSandbox;
using testing::FakeBoard;
using testing::FakeClock;

// The process must not be ended: a missing board is checked through the real
// plug-in (tests/abi).
ModuleSeams seamsFor(FakeBoard& board, platform::Clock& clock, int* exitCode) {
  return {board, clock, [exitCode](int code) { *exitCode = code; }};
}

TEST(Module, RetriesTheSwitcherOnceNamedAfterTheTickCountAndClosesItLast) {
  ConfigSandbox box;
  FakeBoard board;
  board.switcherOpensToFail = 1;
  FakeClock clock;
  clock.ticks = 0xFFFFFFFEu;  // a tick count past 2^31 is shown signed
  int exitCode = -1;
  {
    Module module(seamsFor(board, clock, &exitCode));
    EXPECT_TRUE(module.services().inputPrepared.load());
    EXPECT_EQ(module.videoMode().frameHeight, 480u);
  }
  const auto calls = board.calls();
  ASSERT_GE(calls.size(), 3u);
  EXPECT_EQ(calls[0], "OpenSwitcher apps.Veltrix.Switcher-2");
  EXPECT_EQ(calls[1], calls[0]);
  EXPECT_EQ(calls.back(), "CloseSwitcher");
  EXPECT_EQ(clock.sleeps, std::vector<std::uint32_t>{100});
  EXPECT_EQ(exitCode, -1);
}

class ThrowingClock : public FakeClock {
 public:
  void sleepMilliseconds(std::uint32_t) override { throw std::runtime_error("no sleep"); }
};

TEST(Module, AStepThatFailsUndoesTheOnesBeforeIt) {
  ConfigSandbox box;
  box.write("[VideoCorvane Configuration]\nOutputFilter=3\n");
  FakeBoard board;
  ThrowingClock clock;  // the input step pauses for the decoder and fails there
  int exitCode = -1;
  EXPECT_THROW(Module(seamsFor(board, clock, &exitCode)), std::runtime_error);
  EXPECT_EQ(board.calls().back(), "CloseSwitcher");
  // The output settings were saved on the way out.
  EXPECT_EQ(platform::readProfileValue(box.ini().string(), settings::kConfigSection, "SCPhase"), "0");
  EXPECT_EQ(platform::readProfileValue(box.ini().string(), settings::kConfigSection, "OutputFilter"), "3");
}

}  // namespace
}  // namespace corvane::plugin
