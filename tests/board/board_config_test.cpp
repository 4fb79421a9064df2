#include "board/board_config.h"

#include <gtest/gtest.h>

namespace corvane::board {
namespace {

TEST(BoardConfig, ParsingRules) {
  const struct {
    const char* text;
    bool absent;
    const char* log;
    std::vector<std::string> problems;
  } cases[] = {
      {"", false, "", {}},
      // Unknown keys are skipped; spaces around a key do not matter.
      {"output=/tmp/out.qvf,absent=1,faults=burst, log=/tmp/calls.log", true, "/tmp/calls.log", {}},
      // The first '=' splits, the value is kept as written, the last item wins.
      {"absent=1,log=/first, log =/tmp/a=b/ c.log ,,absent=0", false, "/tmp/a=b/ c.log ", {}},
      {"absent=yes,log=,absent,log=/kept",
       false,
       "/kept",
       {"absent must be 0 or 1, not 'yes'", "log needs a path", "item 'absent' has no '='"}},
  };
  for (const auto& c : cases) {
    const BoardConfig config = parseBoardConfig(c.text);
    EXPECT_EQ(config.absent, c.absent) << c.text;
    EXPECT_EQ(config.logPath, c.log) << c.text;
    EXPECT_EQ(config.problems, c.problems) << c.text;
  }
}

}  // namespace
}  // namespace corvane::board
