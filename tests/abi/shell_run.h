// Running a shell command line as a user types it, with a sandbox's
// environment, and collecting what it printed.
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

// The sandbox's variables are set, CORVANE_PLUGIN unset; command may set
// more of its own before the program name.
inline ShellRun runShell(const Sandbox& box, const std::string& command) {
  std::string line = "unset CORVANE_PLUGIN; ";
  for (const auto& [key, value] : box.environment()) line += "export " + key + "='" + value + "'; ";
  const std::string out = (box.dir() / "shell.out").string();
  const std::string err = (box.dir() / "shell.err").string();
  line += "( " + command + " ) > '" + out + "' 2> '" + err + "'";
  const int status = std::system(line.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, box.readFile(out), box.readFile(err)};
}

}  // namespace corvane::abi
