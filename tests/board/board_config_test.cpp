#include <gtest/gtest.h>

#include "board/board_config.h"

namespace corvane::board {
namespace {

TEST(BoardConfig, EmptyTextGivesAPresentBoardWithoutLog) {
  BoardConfig config = parseBoardConfig("");
  EXPECT_FALSE(config.absent);
  EXPECT_EQ(config.logPath, "");
  EXPECT_TRUE(config.problems.empty());
}

TEST(BoardConfig, ReadsKnownItemsAndIgnoresUnknownOnes) {
  BoardConfig config = parseBoardConfig("output=/tmp/out.qvf,absent=1,faults=burst, log=/tmp/calls.log");
  EXPECT_TRUE(config.absent);
  EXPECT_EQ(config.logPath, "/tmp/calls.log");
  EXPECT_TRUE(config.problems.empty());
}

TEST(BoardConfig, SplitsAtTheFirstEqualsKeepsTheValueAsWrittenAndTheLastItemWins) {
  BoardConfig config = parseBoardConfig("absent=1,log=/first, log =/tmp/a=b/ c.log ,,absent=0");
  EXPECT_EQ(config.logPath, "/tmp/a=b/ c.log ");
  EXPECT_FALSE(config.absent);
  EXPECT_TRUE(config.problems.empty());
}

TEST(BoardConfig, ItemsThatCannotBeUnderstoodAreReportedAndSkipped) {
  BoardConfig config = parseBoardConfig("absent=yes,log=,absent,log=/kept");
  EXPECT_FALSE(config.absent);
  EXPECT_EQ(config.logPath, "/kept");
  ASSERT_EQ(config.problems.size(), 3u);
  EXPECT_EQ(config.problems[0], "absent must be 0 or 1, not 'yes'");
  EXPECT_EQ(config.problems[1], "log needs a path");
  EXPECT_EQ(config.problems[2], "item 'absent' has no '='");
}

}  // namespace
}  // namespace corvane::board
