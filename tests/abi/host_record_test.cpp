// corvane-host record refused or failing at its start: a folder that is not
// there, its own input as the output under another name. The cases a take
// meets while it runs (a folder removed, a disk that fills, Ctrl-C) are in
// host_record_posix_test.cpp.
#include <filesystem>
#include <string>
#include <vector>

#include "abi/record_failures.h"

namespace corvane::abi {
namespace {

TEST_F(RecordFailures, ARefusedOrFailedStartSaysWhyAndLeavesTheInputAlone) {
  std::filesystem::create_directory(at("sub"));
  std::filesystem::create_hard_link(at("clip.qvf"), at("hard.qvf"));
  const std::vector<RecordCase> cases{
      {"a missing folder", "input_rate=240", "missing/take", "--frames 3", Mount::None, During::Nothing, 1,
       "missing/take.qvf: No such file or directory", "missing/take.qvf", false},
      {"its own input", ownInput(), "clip.qvf", "--frames 3 -y", Mount::None, During::Nothing, 1,
       "clip.qvf is also the input", "clip.qvf", false, false},
      {"its own input through a hard link", ownInput(), "hard.qvf", "--frames 3 -y", Mount::None,
       During::Nothing, 1, "hard.qvf is also the input", "clip.qvf", false, false},
      {"its own input through ..", ownInput(), "sub/../clip", "--frames 3 -y", Mount::None, During::Nothing,
       1, "sub/../clip.qvf is also the input", "clip.qvf", false, false},
  };
  runCases(cases, [&](const RecordCase& c) {
    return host("record '" + at(c.out) + "' " + c.args, "",
                {{"CORVANE_BOARD", "log=" + box_.boardLog().string() + "," + c.board}})
        .exitCode;
  });
}

}  // namespace
}  // namespace corvane::abi
