// corvane-host record meeting what a user's disk and hands do to a take: a
// folder removed or filled during it, a folder it cannot write to or that is
// not there, its own input as the output, Ctrl-C. Each run ends with a line
// that names the system's reason or the frames kept, an exit status that says
// whether the take is whole, and on disk either a valid take of whole frames
// or the older file, never a torn or empty one.
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "abi/host_runner.h"
#include "abi/qvf_clip.h"

namespace corvane::abi {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kHeaderBytes = 512;
constexpr std::uint64_t kFrameBytes = 2 * 720 * 240 * 2;
constexpr const char* kOlder = "the older take";

// Interrupt once a whole frame is in the take; InterruptAtOnce as soon as its
// partial file exists.
enum class During : std::uint8_t { Nothing, RemoveFolder, Interrupt, InterruptAtOnce };
// Where the folder of the take lives: the sandbox, or a tmpfs mounted in a
// mount namespace of the run's own (a small one that fills, or a read-only one).
enum class Mount : std::uint8_t { None, Small, ReadOnly, FullAtOnce };

struct Case {
  const char* name;
  std::string board;        // added to CORVANE_BOARD
  std::string out;          // the OUT operand, relative to the sandbox
  std::string args;         // after OUT
  Mount mount;              // of the folder "disk"
  During during;            // once the take's file holds a whole frame
  int exitCode;             // 130: interrupted by SIGINT
  std::string message;      // in stderr
  std::string file;         // the name the take ends up under, if any
  bool keepsFrames;         // file holds the take's whole frames (else it holds kOlder, or is absent)
  bool deviceOpens = true;  // false: refused before the board is asked for anything
};

class RecordFailures : public HostTest {
 protected:
  // Runs the case's record as a shell script, in a mount namespace of its own
  // when the case mounts a tmpfs; the files of a tmpfs are copied out to
  // "kept" before the namespace goes.
  int record(const Case& c) {
    const std::string folder = at(fs::path(c.out).parent_path().string());
    std::string script = "set -u\n";
    if (c.mount != Mount::None) {
      const char* options = c.mount == Mount::Small        ? "size=4m"
                            : c.mount == Mount::FullAtOnce ? "size=8k"
                                                           : "ro";
      if (c.mount != Mount::ReadOnly) {
        script += "mount -t tmpfs -o " + std::string(options) + " tmpfs '" + folder + "' || exit 99\n";
        script += "printf '" + std::string(kOlder) + "' > '" + at(c.out) + ".qvf'\n";
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
      const std::uint64_t bytes = c.during == During::InterruptAtOnce ? 0 : kHeaderBytes + kFrameBytes;
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
  // The frames a take file holds, as the host's info reads them; -1 when it is
  // not a valid QVF file of whole frames.
  long framesByInfo(const std::string& path) {
    const HostRun info = host("info '" + path + "'");
    const std::size_t at = info.out.find("frames     ");
    if (info.exitCode != 0 || !info.err.empty() || at == std::string::npos) return -1;
    return std::stol(info.out.substr(at + 11));
  }
};

TEST_F(RecordFailures, EveryFailureSaysWhyAndLeavesAValidTakeOrTheOlderFile) {
  // Mounting a tmpfs wants a mount namespace of the run's own.
  const bool canMount = std::system("unshare -rm true > /dev/null 2>&1") == 0;
  writeQvfClip(at("clip.qvf"), 240, 3, kNtscFieldRateBits);
  const std::string clip = slurp("clip.qvf");
  fs::create_directory(at("sub"));
  fs::create_symlink(at("clip.qvf"), at("link.qvf"));
  fs::create_hard_link(at("clip.qvf"), at("hard.qvf"));
  const std::string ownInput = "input=" + at("clip.qvf") + ",input_rate=240";

  std::vector<Case> cases{
      {"the take's folder removed during it", "input_rate=240", "gone/take", "--frames 240", Mount::None,
       During::RemoveFolder, 1, "gone/take.qvf: No such file or directory", "gone/take.qvf", false},
      {"a missing folder", "input_rate=240", "missing/take", "--frames 3", Mount::None, During::Nothing, 1,
       "missing/take.qvf: No such file or directory", "missing/take.qvf", false},
      {"its own input", ownInput, "clip.qvf", "--frames 3 -y", Mount::None, During::Nothing, 1,
       "clip.qvf is also the input", "clip.qvf", false, false},
      {"its own input through a symbolic link", ownInput, "link.qvf", "--frames 3 -y", Mount::None,
       During::Nothing, 1, "link.qvf is also the input", "clip.qvf", false, false},
      {"its own input through a hard link", ownInput, "hard.qvf", "--frames 3 -y", Mount::None,
       During::Nothing, 1, "hard.qvf is also the input", "clip.qvf", false, false},
      {"its own input through ..", ownInput, "sub/../clip", "--frames 3 -y", Mount::None, During::Nothing, 1,
       "sub/../clip.qvf is also the input", "clip.qvf", false, false},
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

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::create_directories(at("disk"));
    fs::create_directories(at("gone"));
    if (c.during == During::Interrupt || c.during == During::InterruptAtOnce)
      box_.writeFile(at(c.file), kOlder);
    fs::remove(box_.boardLog());
    const int exitCode = record(c);
    const std::string err = slurp("stderr");
    EXPECT_EQ(exitCode, c.exitCode) << err;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    EXPECT_EQ(partialFiles(), 0);
    if (fs::exists(at("kept"))) {
      for (const auto& entry : fs::directory_iterator(at("kept"))) {
        EXPECT_EQ(entry.path().filename().string().find("partial"), std::string::npos) << entry.path();
      }
    }
    const std::string file = at(c.file);
    if (c.keepsFrames) {
      const std::uint64_t size = fs::file_size(file);
      EXPECT_EQ((size - kHeaderBytes) % kFrameBytes, 0u) << "a torn last frame: " << size << " bytes";
      const long frames = framesByInfo(file);
      EXPECT_GE(frames, 1);
      const std::string told = c.during == During::Interrupt ? "interrupted; " + std::to_string(frames) +
                                                                   " frames kept in " + at(c.out) + ".qvf"
                                                             : std::to_string(frames) + " frames written";
      EXPECT_NE(err.find(told), std::string::npos) << "what the file holds, as info says: " << err;
    } else if (c.file == "clip.qvf") {
      EXPECT_TRUE(slurp(c.file) == clip) << "the input is left as it was";
    } else if (c.mount == Mount::FullAtOnce || c.during == During::InterruptAtOnce) {
      EXPECT_EQ(slurp(c.file), kOlder) << "a take without a whole frame replaces nothing";
    } else {
      EXPECT_FALSE(fs::exists(file)) << "no file for a take with no frame in it";
    }
    if (!c.deviceOpens) {
      EXPECT_EQ(slurp("board.log").find("CreateProbe"), std::string::npos);
    }
    fs::remove_all(at("kept"));
    fs::remove(at("status"));
    fs::remove(at("waited"));
  }
}

}  // namespace
}  // namespace corvane::abi
