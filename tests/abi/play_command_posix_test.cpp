// corvane-host play interrupted as a terminal interrupts it: a signal to its
// process group, with a shell script standing in for the preview. The line it
// ends with says how many frames went out.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "abi/host_runner.h"
#include "abi/qvf_clip.h"

namespace corvane::abi {
namespace {

using PlayInterrupt = HostTest;

TEST_F(PlayInterrupt, EndsThePlayWithOneLineCountingTheFramesThatWentOut) {
  // 3000 frames of zeros, sparse on disk: far more than the test waits for.
  writeQvfClip(at("long.qvf"), 240, 1, kNtscFieldRateBits);
  std::filesystem::resize_file(at("long.qvf"), 512 + std::uintmax_t{691200} * 3000);
  // A stand-in preview that runs until it is asked to close, as ScryOut does.
  const std::filesystem::path bin = at("bin");
  std::filesystem::create_directories(bin);
  box_.writeFile(bin / "ScryOut", "#!/bin/sh\ntrap 'exit 0' TERM\nwhile :; do sleep 0.05; done\n");
  std::filesystem::permissions(bin / "ScryOut", std::filesystem::perms::owner_all);
  for (int signal : {SIGINT, SIGTERM}) {
    std::filesystem::remove(at("shown"));
    box_.writeFile(box_.iniPath(), "[VideoCorvane Configuration]\nVeltrixScryOut=1\n");
    std::vector<std::string> strings{"CORVANE_PLUGIN=" CORVANE_PLUGIN_PATH};
    for (const auto& [key, value] :
         box_.environment({{"CORVANE_BOARD", "output=" + at("out.qvf") + ",shown=" + at("shown")},
                           {"PATH", bin.string() + ":" + std::getenv("PATH")}}))
      strings.push_back(key + "=" + value);
    std::vector<char*> env;
    for (std::string& s : strings) env.push_back(s.data());
    env.push_back(nullptr);
    std::string host = CORVANE_HOST_PATH, command = "play", clip = at("long.qvf");
    char* argv[] = {host.data(), command.data(), clip.data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, at("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    // A group of its own, which the interrupt goes to as a terminal sends it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, &attributes, argv, env.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);

    // Some frames on air, then the interrupt.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    std::size_t onAir = 0;
    while ((onAir = box_.readLines(at("shown")).size()) < 3 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GE(onAir, 3u) << "frames on air after a minute; stderr: " << slurp("stderr");
    kill(-pid, signal);
    // The 3000 frames would take 100 s: a minute is plenty for the queued ones.
    int status = 0;
    const auto ending = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > ending) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        FAIL() << signal << ": still playing a minute after the interrupt; " << slurp("stderr");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(WIFSIGNALED(status)) << signal << ": status " << status << ", " << slurp("stderr");
    EXPECT_EQ(WTERMSIG(status), signal);

    const std::size_t shown = box_.readLines(at("shown")).size();
    std::smatch said;
    const std::string err = slurp("stderr");
    ASSERT_TRUE(
        std::regex_match(err, said, std::regex("corvane-host play: interrupted; ([0-9]+) frames went out\n")))
        << signal << ": " << err;
    EXPECT_EQ(std::stoul(said[1]), shown) << "the count is the board's";
    EXPECT_LT(shown, 3000u);
    // The user's interrupt was for the command: the preview ran on until the
    // device closed it, so the next play starts one again.
    EXPECT_NE(slurp(box_.iniPath()).find("VeltrixScryOut=1"), std::string::npos) << signal;
  }
}

}  // namespace
}  // namespace corvane::abi
