#include <gtest/gtest.h>

#include "board/log_file.h"
#include "board/virtual_board.h"

namespace corvane::board {
namespace {

using Lines = std::vector<std::string>;

// The output stream and the input probe do not exist yet: their entries must
// fail (give 0, hand out no memory) rather than look as if they worked.
class UnbuiltEntries : public testing::LogDirectory {};

TEST_F(UnbuiltEntries, FailAndAreLoggedWithTheirNames) {
  BoardConfig config;
  config.logPath = logPath_;
  VirtualBoard board(config);
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

  EXPECT_EQ(logLines(), (Lines{"OpenOutputStream media.apps.Veltrix 0", "AcquireOutputFrame", "OpenEngine",
                               "CreateProbe media.apps.Veltrix.probe", "AttachProbe media.pins.corvane.vin0.out",
                               "AttachProbe", "ReturnInputFrame"}));
}

}  // namespace
}  // namespace corvane::board
