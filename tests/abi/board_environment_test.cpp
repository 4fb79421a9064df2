// The virtual board as the environment sets it up while the plug-in loads:
// CORVANE_BOARD items it cannot use, and the monitor object each loaded
// plug-in makes for its previews.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "abi/host_runner.h"
#include "host/plugin_loader.h"

namespace corvane::abi {
namespace {

namespace fs = std::filesystem;

using BoardEnvironment = HostTest;

TEST_F(BoardEnvironment, EachItemItCannotUseIsOneWarningAndTheLoadGoesOn) {
  struct Case {
    const char* items;
    std::vector<std::string> warnings;  // each one line, in this order
  };
  const std::string known =
      "(the settings are log, output, shown, output_frames, input, input_rate, first_count, monitor, absent, "
      "refuse_output, input_frames, missing_field, input_standard)";
  for (const Case& c : {
           Case{"outptu=/tmp/x.qvf", {"CORVANE_BOARD: 'outptu' is not a setting " + known + " (ignored)"}},
           Case{"output_frames=zz",
                {"CORVANE_BOARD: output_frames must be a whole number from 1 to 1000, not 'zz' (ignored)"}},
           Case{"absent=maybe, Input_Rate=1",
                {"CORVANE_BOARD: absent must be 0 or 1, not 'maybe' (ignored)",
                 "CORVANE_BOARD: 'Input_Rate' is not a setting " + known + " (ignored)"}},
           Case{"monitor=a/b",
                {"CORVANE_BOARD: monitor must be a shared-memory name (no '/' but a leading one), not 'a/b' "
                 "(ignored)"}},
       }) {
    const HostRun run =
        host("descriptors", "", {{"CORVANE_BOARD", "log=" + box_.boardLog().string() + "," + c.items}});
    EXPECT_EQ(run.exitCode, 0) << c.items << " (-1: killed by a signal)";
    std::string expected;
    for (const std::string& line : c.warnings) expected += line + "\n";
    EXPECT_EQ(run.err, expected) << c.items;
    EXPECT_NE(run.out.find("Video Corvane Record Device"), std::string::npos) << c.items;
  }
}

std::string monitorPrefix() { return "corvane-monitor-" + std::to_string(::getuid()) + "-"; }

bool shmExists(const std::string& name) { return fs::exists("/dev/shm/" + name); }

std::vector<std::string> monitorsInShm() {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator("/dev/shm")) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(monitorPrefix(), 0) == 0) names.push_back(name);
  }
  return names;
}

void makeShm(const std::string& name) {
  const int fd = ::shm_open(("/" + name).c_str(), O_RDWR | O_CREAT, 0600);
  ASSERT_GE(fd, 0) << name;
  ::close(fd);
}

// Waits until dir holds count files starting with stem; false at the deadline.
bool awaitFiles(const fs::path& dir, const std::string& stem, std::size_t count) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    std::size_t seen = 0;
    for (const auto& entry : fs::directory_iterator(dir))
      seen += entry.path().filename().string().rfind(stem, 0) == 0;
    if (seen >= count) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

// Two loads of the plug-in in two processes at the same time: each lists the
// monitors it sees while both are loaded.
TEST_F(BoardEnvironment, EachLoadedPluginHasItsOwnMonitorRemovedAtUnloadAndDeadOnesAreSwept) {
  const pid_t dead = fork();
  if (dead == 0) _exit(0);
  ASSERT_GT(dead, 0);
  ASSERT_EQ(waitpid(dead, nullptr, 0), dead);
  const std::string stale = monitorPrefix() + std::to_string(dead);
  const std::string alive = monitorPrefix() + std::to_string(::getpid());
  makeShm(stale);
  makeShm(alive);

  const fs::path meet = dir() / "meet";
  fs::create_directory(meet);
  std::vector<pid_t> children;
  for (int n = 0; n < 2; ++n) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
      for (const auto& [key, value] : box_.environment()) ::setenv(key.c_str(), value.c_str(), 1);
      host::LoadedPlugin plugin(CORVANE_PLUGIN_PATH);
      const std::string me = std::to_string(::getpid());
      std::ofstream(meet / ("ready-" + me)).flush();
      if (!awaitFiles(meet, "ready-", 2)) _exit(3);
      std::ofstream seen(meet / ("seen-" + me));
      for (const std::string& name : monitorsInShm()) seen << name << "\n";
      seen.close();
      std::ofstream(meet / ("done-" + me)).flush();
      if (!awaitFiles(meet, "done-", 2)) _exit(4);
      plugin.unload();
      std::exit(0);
    }
    ASSERT_GT(child, 0);
    children.push_back(child);
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  }
  for (const pid_t child : children) {
    const std::string own = monitorPrefix() + std::to_string(child);
    const std::string seen = box_.readFile(meet / ("seen-" + std::to_string(child)));
    for (const pid_t other : children)
      EXPECT_NE(seen.find(monitorPrefix() + std::to_string(other) + "\n"), std::string::npos)
          << own << " saw:\n"
          << seen;
    EXPECT_EQ(seen.find(stale + "\n"), std::string::npos) << "a dead process's monitor outlived a load:\n"
                                                          << seen;
    EXPECT_FALSE(shmExists(own)) << own << " left after its unload";
  }
  EXPECT_TRUE(shmExists(alive)) << "a running process's monitor was swept";
  ::shm_unlink(("/" + alive).c_str());
  ::shm_unlink(("/" + stale).c_str());
}

// The previews a plug-in starts are told its monitor.
TEST_F(BoardEnvironment, ThePreviewIsGivenTheMonitorOfThePluginThatStartedIt) {
  const fs::path bin = dir() / "bin";
  // A close request that comes before it wrote would otherwise end it unheard.
  box_.writeFile(bin / "ScryIn",
                 "#!/bin/sh\ntrap '' TERM\necho \"$CORVANE_MONITOR $PPID\" > '" + at("scryin.txt") + "'\n");
  fs::permissions(bin / "ScryIn", fs::perms::owner_all);
  box_.writeFile(at("dialogs.txt"), "dialog 101\nwait 2000\n");
  const HostRun run = host("input-settings", "",
                           {{"CORVANE_DIALOGS", "script:" + at("dialogs.txt")},
                            {"PATH", bin.string() + ":" + std::getenv("PATH")}});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  std::istringstream told(box_.readFile(at("scryin.txt")));
  std::string monitor, host;
  told >> monitor >> host;
  ASSERT_FALSE(host.empty()) << "the preview did not run within the dialog's two seconds";
  EXPECT_EQ(monitor, monitorPrefix() + host);
}

}  // namespace
}  // namespace corvane::abi
