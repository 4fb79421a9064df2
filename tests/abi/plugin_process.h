// Black-box harness: every load-time behaviour is checked in a child process
// of its own, which loads the real libavfile.so with the environment a test
// gives it. The child reports through its exit code; files (the message log,
// the board log, the INI file) carry the details back.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/avfile_api.h"
#include "host/host_record.h"

namespace corvane::abi {

// A fresh directory per test with the paths the plug-in's environment names.
class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  const std::filesystem::path& dir() const { return dir_; }
  std::filesystem::path configDir() const { return dir_ / "config"; }
  std::filesystem::path iniPath() const { return configDir() / "VideoCorvane.ini"; }
  std::filesystem::path messageLog() const { return dir_ / "messages.log"; }
  std::filesystem::path boardLog() const { return dir_ / "board.log"; }

  // CORVANE_CONFIG_DIR, CORVANE_MESSAGE_LOG, CORVANE_BOARD=log=..., no dialogs,
  // no refresh check, normal priorities; extra entries override.
  std::map<std::string, std::string> environment(const std::map<std::string, std::string>& extra = {}) const;

  std::string readFile(const std::filesystem::path& path) const;
  std::vector<std::string> readLines(const std::filesystem::path& path) const;
  void writeFile(const std::filesystem::path& path, const std::string& content) const;

 private:
  std::filesystem::path dir_;
  bool owned_ = false;  // made here, not taken over from the parent
};

struct ChildOutcome {
  bool exited = false;  // false: killed by a signal
  int exitCode = -1;
  int signal = 0;
};

// Runs body in a child process with env applied. body gets the resolved exports
// of a freshly loaded plug-in and returns the child's exit code; the plug-in
// is unloaded before the child exits with that code. A failed
// assertion inside body should return a distinctive non-zero code.
ChildOutcome runWithPlugin(const std::map<std::string, std::string>& env,
                           const std::function<int(const host::AvfileApi&)>& body);

// Runs body in a child process with env applied, without loading anything.
// Where the system cannot fork, the child runs the test again from its start
// to this call (as GoogleTest's death tests do), in the same sandbox, and only
// body's effects count: so keep what a test does around its children
// repeatable.
ChildOutcome runInChild(const std::map<std::string, std::string>& env, const std::function<int()>& body);

}  // namespace corvane::abi
