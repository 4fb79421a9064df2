// What import and export do with the place they write to: never the input,
// never an existing file without -y, a FIFO, device or link kept for what it
// is, and temporary files that belong to the run that made them.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "abi/host_runner.h"
#include "abi/qvf_clip.h"

namespace corvane::abi {
namespace {

namespace fs = std::filesystem;

using HostOutput = HostTest;

TEST_F(HostOutput, AnOutputThatIsTheInputIsRefusedAndTheInputKept) {
  writeQvfClip(at("clip.qvf"), 240, 2, kNtscFieldRateBits);
  box_.writeFile(at("in.y4m"), y4mClip(1));
  fs::create_directory(at("sub"));
  fs::create_symlink(at("clip.qvf"), at("link.qvf"));
  fs::create_hard_link(at("in.y4m"), at("hard.y4m"));
  const std::string clipBytes = slurp("clip.qvf");
  const std::string y4mBytes = slurp("in.y4m");
  struct Case {
    std::string args;
    std::string stdinFrom;
  };
  const Case cases[] = {
      {"export " + quoted("clip.qvf") + " --as y4m -y -o " + quoted("clip.qvf"), ""},
      {"export " + quoted("clip.qvf") + " --as 422 -y -o " + quoted("sub/../link.qvf"), ""},
      {"import " + quoted("in.y4m") + " -y -o " + quoted("in.y4m"), ""},
      {"import " + quoted("in.y4m") + " -y -o " + quoted("hard.y4m"), ""},
      {"import - -y -o " + quoted("in.y4m"), at("in.y4m")},
  };
  for (const Case& c : cases) {
    const HostRun run = host(c.args, c.stdinFrom);
    EXPECT_TRUE(oneLineError(run)) << c.args << ": " << run.err;
    EXPECT_NE(run.err.find("is also the input"), std::string::npos) << run.err;
  }
  EXPECT_TRUE(slurp("clip.qvf") == clipBytes);
  EXPECT_TRUE(slurp("in.y4m") == y4mBytes);
}

TEST_F(HostOutput, AnExistingOutputIsReplacedOnlyWithYes) {
  umask(022);
  writeQvfClip(at("clip.qvf"), 240, 1, kNtscFieldRateBits);
  box_.writeFile(at("in.y4m"), y4mClip(1));
  struct Case {
    std::string command;  // OUT stands for the output
    std::string output;
  };
  const Case cases[] = {{"export " + quoted("clip.qvf") + " --as 422", "out.raw"},
                        {"import " + quoted("in.y4m"), "take.qvf"}};
  for (const Case& c : cases) {
    box_.writeFile(at(c.output), "older");
    for (const char* flag : {"", "-n"}) {
      const HostRun refused = host(c.command + " " + flag + " -o " + quoted(c.output));
      EXPECT_TRUE(oneLineError(refused)) << c.command << flag << ": " << refused.err;
      EXPECT_NE(refused.err.find(at(c.output) + " already exists"), std::string::npos) << refused.err;
      EXPECT_EQ(slurp(c.output), "older");
    }
    chmod(at(c.output).c_str(), 0444);
    if (geteuid() != 0) {
      EXPECT_TRUE(oneLineError(host(c.command + " -y -o " + quoted(c.output)))) << "read-only " << c.output;
      EXPECT_EQ(slurp(c.output), "older");
    }
    chmod(at(c.output).c_str(), 0644);
    const HostRun replaced = host(c.command + " -y -o " + quoted(c.output));
    EXPECT_EQ(replaced.exitCode, 0) << replaced.err;
    EXPECT_GT(slurp(c.output).size(), 691200u);
    EXPECT_EQ(fs::status(at(c.output)).permissions() & fs::perms::others_read, fs::perms::others_read)
        << "a finished output is as readable as any new file (umask 022)";
  }
  EXPECT_EQ(partialFiles(), 0);
}

TEST_F(HostOutput, DevicesFifosAndLinksStayWhatTheyAre) {
  writeQvfClip(at("clip.qvf"), 240, 2, kNtscFieldRateBits);
  box_.writeFile(at("real.y4m"), "older");
  fs::create_symlink(at("real.y4m"), at("link.y4m"));
  ASSERT_EQ(mkfifo(at("fifo").c_str(), 0600), 0);
  const std::string clip = "export " + quoted("clip.qvf") + " --as y4m -y -o ";

  ASSERT_EQ(host(clip + "/dev/null").exitCode, 0);
  EXPECT_TRUE(fs::is_character_file("/dev/null"));

  ASSERT_EQ(host(clip + quoted("link.y4m")).exitCode, 0);
  EXPECT_TRUE(fs::is_symlink(at("link.y4m")));
  EXPECT_EQ(slurp("real.y4m").rfind("YUV4MPEG2 ", 0), 0u);

  // The host blocks on the FIFO until this shell's reader opens it.
  const std::string throughFifo = "(" + shellCommand(clip + quoted("fifo")) +
                                  " 2>/dev/null &) ; timeout 60 cat " + quoted("fifo") + " > " +
                                  quoted("drained");
  ASSERT_EQ(std::system(throughFifo.c_str()), 0);
  EXPECT_TRUE(fs::is_fifo(at("fifo")));
  EXPECT_EQ(slurp("drained"), slurp("real.y4m"));

  const HostRun directory = host(clip + quoted(""));
  EXPECT_TRUE(oneLineError(directory)) << directory.err;
  EXPECT_NE(directory.err.find("is a directory"), std::string::npos) << directory.err;
  // The plug-in writes only regular files: a FIFO is refused before any frame.
  box_.writeFile(at("in.y4m"), y4mClip(1));
  ASSERT_EQ(mkfifo(at("pipe.qvf").c_str(), 0600), 0);
  const HostRun qvfToFifo = host("import " + quoted("in.y4m") + " -y -o " + quoted("pipe.qvf"));
  EXPECT_TRUE(oneLineError(qvfToFifo)) << qvfToFifo.err;
  EXPECT_TRUE(fs::is_fifo(at("pipe.qvf")));
  EXPECT_EQ(partialFiles(), 0);
}

TEST_F(HostOutput, AnImportWarnsWhenItsOutputNameSaysAnotherFormat) {
  box_.writeFile(at("in.y4m"), y4mClip(1));
  struct Case {
    const char* output;
    bool warned;
  };
  for (const Case& c :
       {Case{"take.avi", true}, Case{"take.QVF", false}, Case{"take", false}, Case{"take.mpeg", false}}) {
    const HostRun run = host("import " + quoted("in.y4m") + " -o " + quoted(c.output));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err.find("will hold QVF data") != std::string::npos, c.warned)
        << c.output << ": " << run.err;
  }
}

TEST_F(HostOutput, OnlyPartialFilesOfRunsThatAreGoneAreCleared) {
  box_.writeFile(at("in.y4m"), y4mClip(1));
  // A process id that no process holds: the highest the kernel can give, plus one.
  const std::string dead = std::to_string((1 << 22) + 1);
  const std::string live = std::to_string(getpid());
  box_.writeFile(at("take.qvf.partial-" + dead + "-abcdef.qvf"), "a killed run's frames");
  box_.writeFile(at("take.qvf.partial-" + live + "-abcdef.qvf"), "a running import's frames");
  ASSERT_EQ(host("import " + quoted("in.y4m") + " -o " + quoted("take")).exitCode, 0);
  EXPECT_FALSE(fs::exists(at("take.qvf.partial-" + dead + "-abcdef.qvf")));
  EXPECT_EQ(slurp("take.qvf.partial-" + live + "-abcdef.qvf"), "a running import's frames");
}

}  // namespace
}  // namespace corvane::abi
