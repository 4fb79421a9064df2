// corvane-host run as a user runs it, for the black-box tests of its
// commands: in a sandbox, with stdout and stderr kept apart.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "abi/plugin_process.h"
#include "support/system.h"

namespace corvane::abi {

struct HostRun {
  int exitCode = -1;  // -1 when killed by a signal
  std::string out;
  std::string err;
};

// A command that hangs ends the test with what it said instead of holding the
// whole suite until CTest's time-out.
inline constexpr int kHostDeadlineSeconds = 180;

// The words of a command line as the shell splits it: blanks part them, and
// single quotes keep blanks (and nothing else special) inside one word.
inline std::vector<std::string> shellWords(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false, quoted = false;
  for (char c : line) {
    if (quoted) {
      if (c == '\'')
        quoted = false;
      else
        word += c;
    } else if (c == '\'') {
      quoted = inWord = true;
    } else if (c == ' ' || c == '\t' || c == '\n') {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

class HostTest : public ::testing::Test {
 protected:
  // Runs "corvane-host ARGS" with the sandbox's environment; ARGS are split
  // into words as the shell would split them.
  HostRun host(const std::string& args, const std::string& stdinFrom = "",
               const std::map<std::string, std::string>& extra = {}) {
    testing::ProgramSetup setup;
    for (const auto& [key, value] : box_.environment(extra)) setup.environment[key] = value;
    setup.environment["CORVANE_PLUGIN"] = CORVANE_PLUGIN_PATH;
    setup.stdinPath = stdinFrom;
    setup.stdoutPath = at("stdout");
    setup.stderrPath = at("stderr");
    setup.deadline = std::chrono::seconds(kHostDeadlineSeconds);
    const testing::ProgramRun ran = testing::runProgram(CORVANE_HOST_PATH, shellWords(args), setup);
    HostRun run{ran.exitCode, slurp("stdout"), slurp("stderr")};
    if (ran.timedOut)
      ADD_FAILURE() << args << ": still running after " << kHostDeadlineSeconds << " s; stderr: " << run.err;
    return run;
  }
  // The environment assignments and the host's path, ready for "ARGS".
  std::string shellCommand(const std::string& args,
                           const std::map<std::string, std::string>& extra = {}) const {
    std::string command;
    for (const auto& [key, value] : box_.environment(extra)) command += key + "='" + value + "' ";
    return command + "CORVANE_PLUGIN='" CORVANE_PLUGIN_PATH "' '" CORVANE_HOST_PATH "' " + args;
  }
  // A command line as a user types it to a POSIX shell, CORVANE_PLUGIN unset:
  // the host finds the plug-in itself.
  HostRun shell(const std::string& command) {
    std::string line = "unset CORVANE_PLUGIN; ";
    for (const auto& [key, value] : box_.environment()) line += "export " + key + "='" + value + "'; ";
    std::string inner;  // command in single quotes for sh -c
    for (char c : command) inner += c == '\'' ? std::string("'\\''") : std::string(1, c);
    line += "timeout -k 5 " + std::to_string(kHostDeadlineSeconds) + " sh -c '" + inner + "' > '" +
            at("stdout") + "' 2> '" + at("stderr") + "'";
    const testing::ChildEnd end = testing::decodeChildStatus(std::system(line.c_str()));
    HostRun run{end.exited ? end.exitCode : -1, slurp("stdout"), slurp("stderr")};
    if (run.exitCode == kTimedOut)
      ADD_FAILURE() << command << ": still running after " << kHostDeadlineSeconds
                    << " s; stderr: " << run.err;
    return run;
  }
  static constexpr int kTimedOut = 124;  // timeout(1)'s status for a command it ended
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
