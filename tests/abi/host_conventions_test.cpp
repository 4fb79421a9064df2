// corvane-host's command-line conventions, the same for every command: the
// ways to ask for help, exit status 2 for a command line it cannot run and 1
// for a failure, "--opt=value", one summary line that -q silences, and no
// progress drawing when standard error is not a terminal.
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <string>

#include "abi/host_runner.h"
#include "abi/qvf_clip.h"
#include "support/pty_child.h"

namespace corvane::abi {
namespace {

using HostConventions = HostTest;

TEST_F(HostConventions, EveryWayOfAskingForHelpSucceedsOnStandardOutput) {
  struct Case {
    const char* args;
    const char* expected;
  };
  for (const Case& c :
       {Case{"--help", "usage: corvane-host"}, Case{"-h", "usage: corvane-host"},
        Case{"help", "usage: corvane-host"}, Case{"help export", "usage: corvane-host export"},
        Case{"import --help", "usage: corvane-host import"}, Case{"--version", "corvane-host "}}) {
    const HostRun run = host(c.args);
    EXPECT_EQ(run.exitCode, 0) << c.args << ": " << run.err;
    EXPECT_EQ(run.out.rfind(c.expected, 0), 0u) << c.args << ": " << run.out;
    EXPECT_EQ(run.err, "") << c.args;
  }
}

TEST_F(HostConventions, CommandLinesThatCannotRunExitWith2AndFailuresWith1) {
  writeQvfClip(at("clip.qvf"), 240, 2, kNtscFieldRateBits);
  const std::string clip = quoted("clip.qvf");
  struct Case {
    std::string args;
    int exitCode;
  };
  const Case cases[] = {
      {"", 2},
      {"no-such-command", 2},
      {"--no-such-option info " + clip, 2},
      {"export " + clip, 2},  // no --as
      {"export " + clip + " --as png", 2},
      {"export " + clip + " --as y4m --frames 1-2", 2},
      {"export " + clip + " --as y4m -y -n -o " + quoted("out"), 2},
      {"export " + clip + " --as", 2},
      {"export " + clip + " --quiet=yes --as y4m", 2},
      {"import " + clip + " -o -", 2},
      {"import " + clip, 2},  // no -o
      {"info", 2},
      {"settings --set NoSuchKey=1", 2},
      {"info " + quoted("missing.qvf"), 1},
      {"export " + clip + " --as y4m --frames 5:", 1},
      {"import " + quoted("missing.y4m") + " -o " + quoted("take"), 1},
  };
  for (const Case& c : cases) {
    const HostRun run = host(c.args);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.args << ": " << run.err;
    if (!c.args.empty()) {
      EXPECT_TRUE(oneLineError(run)) << c.args << ": " << run.err;
    }
  }
}

TEST_F(HostConventions, OptionValuesMayFollowAnEqualsSign) {
  writeQvfClip(at("clip.qvf"), 240, 3, kNtscFieldRateBits);
  const HostRun spaced = host("export " + quoted("clip.qvf") + " --as 422 --frames 1:2 -o -");
  const HostRun joined = host("export " + quoted("clip.qvf") + " --as=422 --frames=1:2 --output=-");
  ASSERT_EQ(spaced.exitCode, 0) << spaced.err;
  ASSERT_EQ(joined.exitCode, 0) << joined.err;
  EXPECT_EQ(spaced.out.size(), 691204u);
  EXPECT_TRUE(spaced.out == joined.out);
}

TEST_F(HostConventions, ImportAndExportEndWithOneSummaryLineThatQuietSilences) {
  box_.writeFile(at("in.y4m"), y4mClip(2));
  struct Case {
    std::string args;
    std::string summary;
  };
  const Case cases[] = {
      {"import " + quoted("in.y4m") + " -o " + quoted("take"), "2 frames written to " + at("take.qvf")},
      {"export " + quoted("take.qvf") + " --as y4m -o " + quoted("back.y4m"),
       "2 frames of " + at("take.qvf") + " written to " + at("back.y4m")},
  };
  for (const Case& c : cases) {
    const HostRun loud = host(c.args);
    ASSERT_EQ(loud.exitCode, 0) << loud.err;
    // stderr is a file here: a progress bar would show as carriage returns.
    EXPECT_EQ(loud.err.find('\r'), std::string::npos) << loud.err;
    EXPECT_EQ(std::count(loud.err.begin(), loud.err.end(), '\n'), 1) << loud.err;
    EXPECT_NE(loud.err.find(c.summary), std::string::npos) << loud.err;
    const HostRun quiet = host(c.args + " -y -q");
    EXPECT_EQ(quiet.exitCode, 0) << quiet.err;
    EXPECT_EQ(quiet.err, "") << c.args;
  }
}

// play, export and import where they used to differ from the other commands:
// each case runs one command line and checks its status, a text on standard
// error and what it left on disk.
TEST_F(HostConventions, EveryCommandKeepsTheSameConventions) {
  namespace fs = std::filesystem;
  writeQvfClip(at("clip.qvf"), 240, 6, kNtscFieldRateBits);
  fs::copy_file(at("clip.qvf"), at("short.qvf"));
  fs::resize_file(at("short.qvf"), fs::file_size(at("short.qvf")) - 100);
  fs::copy_file(at("clip.qvf"), at("overlapping.qvf"));
  {
    std::fstream file(at("overlapping.qvf"), std::ios::binary | std::ios::in | std::ios::out);
    file.seekp(16);  // the frame block size
    file.put('\x01').put('\0').put('\0').put('\0');
  }
  box_.writeFile(at("one.y4m"), y4mClip(1));
  fs::create_directory(at("folder"));
  fs::create_directory(at("previews"));
  fs::create_symlink(at("made.y4m"), at("link.y4m"));
  fs::create_symlink("made.qvf", at("link.qvf"));
  const std::string quietPreviews = "[VideoCorvane Configuration]\nVeltrixScryOut=0\n";
  const std::map<std::string, std::string> board{{"CORVANE_BOARD", "output=" + at("played.qvf")}};
  auto isLinkTo = [this](const std::string& link, const std::string& target) -> std::string {
    if (!fs::is_symlink(at(link))) return link + " is no longer a link";
    if (!fs::is_regular_file(at(target))) return target + " was not made";
    return "";
  };
  struct Case {
    const char* what;
    std::string args;
    int exitCode;
    std::string err;                               // a text standard error must hold; "" for none at all
    std::function<std::string()> leftBehind = {};  // what it left on disk: "" when right
    std::map<std::string, std::string> env = {};
    std::string ini = "";
  };
  const Case cases[] = {
      {"play of a missing clip names the system's reason", "play " + quoted("missing.qvf"), 1,
       "corvane-host play: cannot open " + at("missing.qvf") + ": No such file or directory\n"},
      {"export of a range past the end holds no frame",
       "export " + quoted("clip.qvf") + " --as 422 --frames 7:9 -o -", 1,
       "corvane-host export: --frames 7:9 holds no frame of the file's 6\n"},
      {"import into a folder makes no hidden file in it",
       "import " + quoted("one.y4m") + " -o " + quoted("folder") + "/", 1,
       " is a directory; give a file name",
       [this] { return fs::is_empty(at("folder")) ? "" : "something was written into the folder"; }},
      {"import into a folder that does not exist",
       "import " + quoted("one.y4m") + " -o " + quoted("nowhere") + "/", 1,
       "/nowhere/ names a folder; give a file name"},
      {"play's summary carries its prefix",
       "play " + quoted("clip.qvf"),
       0,
       "corvane-host play: played 6 frames: 6 shown, 0 dropped",
       {},
       board,
       quietPreviews},
      {"play -q says nothing", "play " + quoted("clip.qvf") + " -q", 0, "", {}, board, quietPreviews},
      {"play warns of a last frame cut short as info does",
       "play " + quoted("short.qvf") + " -q",
       0,
       "corvane-host: warning: " + at("short.qvf") + " ends inside frame 5",
       {},
       board,
       quietPreviews},
      {"play warns of overlapping frame blocks as info does",
       "play " + quoted("overlapping.qvf") + " --frames 0:1 -q",
       0,
       "frame blocks of 1 byte are smaller than the 691200 bytes",
       {},
       board,
       quietPreviews},
      // The frames queued before the failing read still go out, so the
      // device's close does not wait for them for ever.
      {"play of a clip whose frames cannot all be read ends with the reason",
       "play " + quoted("overlapping.qvf") + " -q",
       1,
       "\ncorvane-host play: frame 1 of " + at("overlapping.qvf") + " cannot be read as 4:2:2\n",
       {},
       board,
       quietPreviews},
      {"one frame is one frame", "import " + quoted("one.y4m") + " -o " + quoted("one"), 0,
       "corvane-host import: 1 frame written to " + at("one.qvf") + " as 422\n"},
      {"a dangling link given to export stays a link",
       "export " + quoted("clip.qvf") + " --as y4m -o " + quoted("link.y4m"), 0, "6 frames of",
       [=] { return isLinkTo("link.y4m", "made.y4m"); }},
      {"a dangling link given to import stays a link",
       "import " + quoted("one.y4m") + " -o " + quoted("link.qvf"), 0, "1 frame written",
       [=] { return isLinkTo("link.qvf", "made.qvf"); }},
      // Only the build's own bin/ holds ScryOut; PATH does not.
      {"play finds ScryOut beside the host",
       "play " + quoted("clip.qvf"),
       0,
       "6 shown, 0 dropped",
       {},
       {{"CORVANE_BOARD", "output=" + at("played.qvf")},
        {"PATH", "/usr/bin:/bin"},
        {"DISPLAY", ""},
        {"CORVANE_PREVIEW_DIR", at("previews")}},
       "[VideoCorvane Configuration]\nVeltrixScryOut=1\n"},
  };
  for (const Case& c : cases) {
    box_.writeFile(box_.iniPath(), c.ini);
    const HostRun run = host(c.args, "", c.env);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.what << ": " << run.err;
    if (c.err.empty()) {
      EXPECT_EQ(run.err, "") << c.what;
    } else {
      EXPECT_NE(run.err.find(c.err), std::string::npos) << c.what << ": " << run.err;
    }
    if (run.exitCode != 0) {
      // A warning about the input may come first.
      HostRun failure = run;
      while (failure.err.starts_with("corvane-host: warning: "))
        failure.err.erase(0, failure.err.find('\n') + 1);
      EXPECT_TRUE(oneLineError(failure)) << c.what << ": " << run.err;
    }
    if (c.leftBehind) {
      EXPECT_EQ(c.leftBehind(), "") << c.what;
    }
    EXPECT_EQ(partialFiles(), 0) << c.what;
    std::error_code ignored;
    fs::remove(at("played.qvf"), ignored);
  }
}

TEST_F(HostConventions, TheCommandListLinesUpItsSummaries) {
  const HostRun run = host("--help");
  ASSERT_EQ(run.exitCode, 0);
  const std::string list = run.out.substr(run.out.find("commands:\n") + 10);
  std::size_t column = 0;
  int commands = 0;
  std::smatch line;
  for (auto it = list.cbegin();
       std::regex_search(it, list.cend(), line, std::regex("^  ([a-z-]+ +)(\\S.*)\n"));
       it = line.suffix().first, ++commands) {
    if (column == 0) column = line.length(1);
    EXPECT_EQ(line.length(1), column) << line.str(0);
  }
  EXPECT_GE(commands, 8) << run.out;
}

TEST_F(HostConventions, BinaryFramesAreNotWrittenToATerminal) {
  writeQvfClip(at("clip.qvf"), 240, 1, kNtscFieldRateBits);
  std::map<std::string, std::string> env = box_.environment();
  env["CORVANE_PLUGIN"] = CORVANE_PLUGIN_PATH;
  const std::string clip = at("clip.qvf");
  for (const char* as : {"422", "y4m"}) {
    testing::PtyChild child(env, [&] {
      execl(CORVANE_HOST_PATH, CORVANE_HOST_PATH, "export", clip.c_str(), "--as", as, nullptr);
      return 127;
    });
    const int status = child.wait();
    ASSERT_TRUE(WIFEXITED(status)) << as << ": " << status;
    EXPECT_EQ(WEXITSTATUS(status), 1) << as << ": " << child.allOutput();
    EXPECT_NE(child.allOutput().find("will not write binary frames to a terminal; give -o FILE"),
              std::string::npos)
        << as << ": " << child.allOutput();
    EXPECT_LT(child.allOutput().size(), 400u) << as << ": frames reached the terminal";
  }
}

}  // namespace
}  // namespace corvane::abi
