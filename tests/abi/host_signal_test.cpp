// Interrupting import and export: SIGINT and SIGTERM take the half-written
// file away and leave an older output as it was; SIGKILL may leave one that
// the next run over the same output clears. A file-size limit is a plain
// write error, not a crash.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "abi/host_runner.h"
#include "abi/qvf_clip.h"

namespace corvane::abi {
namespace {

namespace fs = std::filesystem;

class HostSignals : public HostTest {
 protected:
  // Starts the host with stdin from stdinFd (or /dev/null) and stderr into "stderr".
  pid_t start(const std::vector<std::string>& args, int stdinFd = -1) {
    std::vector<std::string> env;
    for (const auto& [key, value] : box_.environment({{"TMPDIR", at("tmp")}}))
      env.push_back(key + "=" + value);
    env.push_back("CORVANE_PLUGIN=" CORVANE_PLUGIN_PATH);
    std::vector<std::string> argv{CORVANE_HOST_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    const std::string errPath = at("stderr");
    const pid_t pid = fork();
    if (pid == 0) {
      const int in = stdinFd >= 0 ? stdinFd : open("/dev/null", O_RDONLY);
      const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(in, 0);
      dup2(err, 2);
      std::vector<char*> a, e;
      for (auto& s : argv) a.push_back(s.data());
      for (auto& s : env) e.push_back(s.data());
      a.push_back(nullptr);
      e.push_back(nullptr);
      execve(a[0], a.data(), e.data());
      _exit(127);
    }
    return pid;
  }
  // Waits (at most a minute) until the run has made its partial file.
  bool partialAppears() {
    for (int i = 0; i < 6000; ++i) {
      if (partialFiles() > 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  static int endingSignal(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  }
};

TEST_F(HostSignals, AnInterruptedExportLeavesNoPartialFileAndTheOlderOutput) {
  // 3000 frames of zeros, sparse on disk: far more than a test waits for.
  writeQvfClip(at("long.qvf"), 240, 1, kNtscFieldRateBits);
  fs::resize_file(at("long.qvf"), 512 + std::uintmax_t{691200} * 3000);
  for (int signal : {SIGINT, SIGTERM, SIGKILL}) {
    box_.writeFile(at("out.y4m"), "older");
    const pid_t pid = start({"export", at("long.qvf"), "--as", "y4m", "-y", "-o", at("out.y4m")});
    ASSERT_TRUE(partialAppears()) << signal;
    kill(pid, signal);
    EXPECT_EQ(endingSignal(pid), signal);
    EXPECT_EQ(slurp("out.y4m"), "older") << signal;
    if (signal == SIGKILL) {
      EXPECT_EQ(partialFiles(), 1) << "only SIGKILL can leave one behind";
      const HostRun next =
          host("export " + quoted("long.qvf") + " --as 422 --frames 0:1 -y -o " + quoted("out.y4m"));
      EXPECT_EQ(next.exitCode, 0) << next.err;
    } else {
      EXPECT_NE(slurp("stderr").find("interrupted; " + at("out.y4m") + " was not written"), std::string::npos)
          << slurp("stderr");
    }
    EXPECT_EQ(partialFiles(), 0) << signal;
  }
}

TEST_F(HostSignals, AnInterruptedImportFromAPipeLeavesNoPartialFileNorSettingsCopy) {
  const std::string clip = y4mClip(2);
  fs::create_directory(at("tmp"));
  for (int signal : {SIGINT, SIGTERM}) {
    box_.writeFile(at("take.qvf"), "older");
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t pid = start({"--video-mode", "ntsc", "import", "-", "-y", "-o", at("take.qvf")}, fds[0]);
    close(fds[0]);
    // Two frames go in and the pipe stays open: the host waits for a third.
    ASSERT_EQ(write(fds[1], clip.data(), clip.size()), static_cast<ssize_t>(clip.size()));
    ASSERT_TRUE(partialAppears());
    kill(pid, signal);
    EXPECT_EQ(endingSignal(pid), signal);
    close(fds[1]);
    EXPECT_EQ(slurp("take.qvf"), "older");
    EXPECT_EQ(partialFiles(), 0) << signal;
    EXPECT_TRUE(fs::is_empty(at("tmp"))) << "the --video-mode settings copy is gone";
  }
}

TEST_F(HostSignals, AFileSizeLimitIsAWriteErrorWithItsReason) {
  writeQvfClip(at("clip.qvf"), 240, 4, kNtscFieldRateBits);
  box_.writeFile(at("out.raw"), "older");
  const std::string command =
      "ulimit -f 1024; " +
      shellCommand("export " + quoted("clip.qvf") + " --as rgba -y -o " + quoted("out.raw")) + " 2> " +
      quoted("stderr");
  const int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status)) << "killed by a signal";
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(slurp("stderr").find("cannot write " + at("out.raw") + ": File too large"), std::string::npos)
      << slurp("stderr");
  EXPECT_EQ(slurp("out.raw"), "older");
  EXPECT_EQ(partialFiles(), 0);
}

}  // namespace
}  // namespace corvane::abi
