// A shell command line run as a user types it, in a sandbox's environment
// (CORVANE_PLUGIN unset), with what it printed.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "abi/plugin_process.h"

namespace corvane::abi {

struct ShellRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

inline ShellRun runShell(const Sandbox& box, const std::string& command) {
  std::string line = "unset CORVANE_PLUGIN; ";
  for (const auto& [key, value] : box.environment()) line += "export " + key + "='" + value + "'; ";
  const auto out = box.dir() / "shell.out", err = box.dir() / "shell.err";
  const int status =
      std::system((line + "(" + command + ") >'" + out.string() + "' 2>'" + err.string() + "'").c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, box.readFile(out), box.readFile(err)};
}

}  // namespace corvane::abi
