// corvane-host's command-line conventions, the same for every command: the
// ways to ask for help, exit status 2 for a command line it cannot run and 1
// for a failure, "--opt=value", one summary line that -q silences, and no
// progress drawing when standard error is not a terminal.
#include <algorithm>
#include <filesystem>
#include <string>

#include "abi/host_runner.h"
#include "abi/qvf_clip.h"

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

}  // namespace
}  // namespace corvane::abi
