// corvane-host record meeting what happens to a take while it runs, on POSIX:
// its folder removed, a tmpfs that fills or is read-only (in a mount
// namespace of its own), Ctrl-C as SIGINT, and its input named through a
// symbolic link. Each run is a shell script that does to the take what a
// user's disk and hands do.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "abi/record_failures.h"

namespace corvane::abi {
namespace {

namespace fs = std::filesystem;

class RecordFailuresDuringATake : public RecordFailures {
 protected:
  // Runs the case's record as a shell script, in a mount namespace of its own
  // when the case mounts a tmpfs; the files of a tmpfs are copied out to
  // "kept" before the namespace goes.
  int record(const RecordCase& c) {
    const std::string folder = at(fs::path(c.out).parent_path().string());
    std::string script = "set -u\n";
    if (c.mount != Mount::None) {
      const char* options = c.mount == Mount::Small        ? "size=4m"
                            : c.mount == Mount::FullAtOnce ? "size=8k"
                                                           : "ro";
      if (c.mount != Mount::ReadOnly) {
        script += "mount -t tmpfs -o " + std::string(options) + " tmpfs '" + folder + "' || exit 99\n";
        script += "printf '" + std::string(kOlderTake) + "' > '" + at(c.out) + ".qvf'\n";
      } else {
        script += "mount -t tmpfs -o ro tmpfs '" + folder + "' || exit 99\n";
      }
    }
    // timeout passes the interrupt on to the host it runs, once only when
    // it keeps to the foreground (else it sends it to its group as well).
    const std::string host =
        "timeout --foreground -k 5 " + std::to_string(kHostDeadlineSeconds) + " env " +
        shellCommand("record '" + at(c.out) + "' " + c.args,
                     {{"CORVANE_BOARD", "log=" + box_.boardLog().string() + "," + c.board}}) +
        " 2> '" + at("stderr") + "'";
    if (c.during == During::Nothing) {
      script += host + "\necho $? > '" + at("status") + "'\n";
    } else {
      // Waits (at most 30 s) for the take's partial file, with a whole frame
      // unless the interrupt comes at once.
      const std::uint64_t bytes =
          c.during == During::InterruptAtOnce ? 0 : kTakeHeaderBytes + kTakeFrameBytes;
      script += host + " &\np=$!\ni=0\n";
      script += "until ls '" + folder + "' | grep -q partial && [ $(cat '" + folder +
                "'/*partial* 2>/dev/null | wc -c) -ge " + std::to_string(bytes) + " ]; do\n";
      script += "  i=$((i+1)); [ $i -gt 3000 ] && { ls -l '" + folder + "' > '" + at("waited") +
                "'; break; }; sleep 0.01\ndone\n";
      script += c.during == During::RemoveFolder ? "rm -rf '" + folder + "'\n" : "kill -INT $p\n";
      script += "wait $p\necho $? > '" + at("status") + "'\n";
    }
    if (c.mount != Mount::None)
      script += "mkdir -p '" + at("kept") + "'; cp -a '" + folder + "'/. '" + at("kept") + "'\n";
    box_.writeFile(at("record.sh"), script);
    const std::string shell = c.mount == Mount::None ? "sh " : "unshare -rm sh ";
    const int ran = std::system((shell + quoted("record.sh") + " > /dev/null 2>&1").c_str());
    EXPECT_FALSE(fs::exists(at("waited"))) << "no whole frame reached the partial file:\n" << slurp("waited");
    EXPECT_TRUE(WIFEXITED(ran) && WEXITSTATUS(ran) != 99) << "the tmpfs did not mount";
    return std::stoi(slurp("status").empty() ? "-1" : slurp("status"));
  }
};

TEST_F(RecordFailuresDuringATake, EveryFailureSaysWhyAndLeavesAValidTakeOrTheOlderFile) {
  // Mounting a tmpfs wants a mount namespace of the run's own.
  const bool canMount = std::system("unshare -rm true > /dev/null 2>&1") == 0;
  fs::create_symlink(at("clip.qvf"), at("link.qvf"));

  std::vector<RecordCase> cases{
      {"the take's folder removed during it", "input_rate=240", "gone/take", "--frames 240", Mount::None,
       During::RemoveFolder, 1, "gone/take.qvf: No such file or directory", "gone/take.qvf", false},
      {"its own input through a symbolic link", ownInput(), "link.qvf", "--frames 3 -y", Mount::None,
       During::Nothing, 1, "link.qvf is also the input", "clip.qvf", false, false},
      {"an interrupted take", "input_rate=240", "take", "--frames 100000 -y", Mount::None, During::Interrupt,
       130, "interrupted; ", "take.qvf", true},
      // An input that never delivers a frame: the interrupt always comes first.
      {"a take interrupted before its first frame", "input_rate=240,input_frames=0", "early", "--frames 3 -y",
       Mount::None, During::InterruptAtOnce, 130,
       "interrupted; no whole frame was taken; " + at("early.qvf") + " was not written", "early.qvf", false},
  };
  if (canMount) {
    cases.push_back({"a tmpfs that fills", "input_rate=240", "disk/take", "--frames 60 -y", Mount::Small,
                     During::Nothing, 1, "disk/take.qvf: No space left on device", "kept/take.qvf", true});
    cases.push_back({"a tmpfs full from the start", "input_rate=240", "disk/take", "--frames 60 -y",
                     Mount::FullAtOnce, During::Nothing, 1, "disk/take.qvf: No space left on device",
                     "kept/take.qvf", false});
    cases.push_back({"a read-only folder", "input_rate=240", "disk/take", "--frames 3", Mount::ReadOnly,
                     During::Nothing, 1, "disk/take.qvf: Read-only file system", "kept/take.qvf", false});
  } else {
    std::fprintf(stderr, "no mount namespace here: the full and read-only tmpfs cases are left out\n");
  }
  runCases(cases, [&](const RecordCase& c) { return record(c); });
}

}  // namespace
}  // namespace corvane::abi
