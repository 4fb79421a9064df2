// corvane-host run as a user runs it, for the black-box tests of its
// commands: through the shell, in a sandbox, with stdout and stderr kept apart.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "abi/plugin_process.h"

namespace corvane::abi {

struct HostRun {
  int exitCode = -1;  // -1 when killed by a signal
  std::string out;
  std::string err;
};

// A command that hangs ends the test with what it said instead of holding the
// whole suite until CTest's time-out.
inline constexpr int kHostDeadlineSeconds = 180;
inline constexpr int kTimedOut = 124;  // timeout(1)'s status for a command it ended

class HostTest : public ::testing::Test {
 protected:
  // Runs "corvane-host ARGS" through the shell with the sandbox's environment.
  HostRun host(const std::string& args, const std::string& stdinFrom = "",
               const std::map<std::string, std::string>& extra = {}) {
    std::string command =
        "timeout -k 5 " + std::to_string(kHostDeadlineSeconds) + " env " + shellCommand(args, extra);
    if (!stdinFrom.empty()) command += " < '" + stdinFrom + "'";
    command += " > '" + (dir() / "stdout").string() + "' 2> '" + (dir() / "stderr").string() + "'";
    return finished(args, std::system(command.c_str()));
  }
  // The environment assignments and the host's path, ready for "ARGS".
  std::string shellCommand(const std::string& args,
                           const std::map<std::string, std::string>& extra = {}) const {
    std::string command;
    for (const auto& [key, value] : box_.environment(extra)) command += key + "='" + value + "' ";
    return command + "CORVANE_PLUGIN='" CORVANE_PLUGIN_PATH "' '" CORVANE_HOST_PATH "' " + args;
  }
  // A command line as a user types it, CORVANE_PLUGIN unset: the host finds the plug-in itself.
  HostRun shell(const std::string& command) {
    std::string line = "unset CORVANE_PLUGIN; ";
    for (const auto& [key, value] : box_.environment()) line += "export " + key + "='" + value + "'; ";
    std::string inner;  // command in single quotes for sh -c
    for (char c : command) inner += c == '\'' ? std::string("'\\''") : std::string(1, c);
    line += "timeout -k 5 " + std::to_string(kHostDeadlineSeconds) + " sh -c '" + inner + "' > '" +
            at("stdout") + "' 2> '" + at("stderr") + "'";
    return finished(command, std::system(line.c_str()));
  }
  HostRun finished(const std::string& what, int status) const {
    HostRun run{WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp("stdout"), slurp("stderr")};
    if (run.exitCode == kTimedOut) {
      ADD_FAILURE() << what << ": still running after " << kHostDeadlineSeconds << " s; stderr: " << run.err;
    }
    return run;
  }
  std::filesystem::path dir() const { return box_.dir(); }
  std::string at(const std::string& name) const { return (dir() / name).string(); }
  std::string quoted(const std::string& name) const { return "'" + at(name) + "'"; }
  std::string slurp(const std::string& name) const { return box_.readFile(dir() / name); }
  // Names in the sandbox that hold "partial".
  int partialFiles() const {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir()))
      count += entry.path().filename().string().find("partial") != std::string::npos;
    return count;
  }

  Sandbox box_;
};

// A planar 4:2:2 clip whose colours stay inside the RGB cube (luma 64..192,
// chroma 112..144), so a trip through RGBA-32 clips nothing.
inline std::string y4mClip(std::uint32_t frames, std::uint32_t width = 720, std::uint32_t height = 480,
                           const std::string& chroma = "C422",
                           const std::string& tags = "F30000:1001 Ip A1:1") {
  std::string clip = "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) + " " + tags +
                     " " + chroma + "\n";
  std::uint32_t state = 12345;
  auto next = [&state](int low, int span) {
    state = state * 1103515245u + 12345u;
    return static_cast<char>(low + static_cast<int>((state >> 16) % static_cast<std::uint32_t>(span)));
  };
  for (std::uint32_t n = 0; n < frames; ++n) {
    clip += "FRAME\n";
    for (std::uint32_t i = 0; i < width * height; ++i) clip += next(64, 129);
    for (std::uint32_t i = 0; i < width * height; ++i) clip += next(112, 33);
  }
  return clip;
}

inline std::string payload(const std::string& y4m) { return y4m.substr(y4m.find("FRAME")); }

// A failure told in exactly one line on stderr.
inline bool oneLineError(const HostRun& run) {
  return run.exitCode > 0 && !run.err.empty() && run.err.find('\n') == run.err.size() - 1 &&
         run.err.find('\r') == std::string::npos;
}

}  // namespace corvane::abi
