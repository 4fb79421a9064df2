#include "abi/plugin_process.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "host/plugin_loader.h"

namespace corvane::abi {

Sandbox::Sandbox() {
  std::string pattern = (std::filesystem::temp_directory_path() / "corvane-abi-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  dir_ = pattern;
  std::filesystem::create_directories(configDir());
}

Sandbox::~Sandbox() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::map<std::string, std::string> Sandbox::environment(
    const std::map<std::string, std::string>& extra) const {
  std::map<std::string, std::string> env{
      {"CORVANE_CONFIG_DIR", configDir().string()},
      {"CORVANE_MESSAGE_LOG", messageLog().string()},
      {"CORVANE_BOARD", "log=" + boardLog().string()},
      {"CORVANE_DIALOGS", "none"},
      {"CORVANE_REFRESH_HZ", "0"},
      {"CORVANE_REALTIME", "0"},
  };
  for (const auto& [key, value] : extra) env[key] = value;
  return env;
}

std::string Sandbox::readFile(const std::filesystem::path& path) const {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::vector<std::string> Sandbox::readLines(const std::filesystem::path& path) const {
  std::vector<std::string> lines;
  std::istringstream in(readFile(path));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

void Sandbox::writeFile(const std::filesystem::path& path, const std::string& content) const {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

ChildOutcome runInChild(const std::map<std::string, std::string>& env, const std::function<int()>& body) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    for (const auto& [key, value] : env) setenv(key.c_str(), value.c_str(), 1);
    int code = 99;
    try {
      code = body();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "child: %s\n", e.what());
      code = 98;
    }
    std::fflush(nullptr);
    // exit, not _exit: a plug-in that is still loaded must see a normal exit.
    std::exit(code);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  ChildOutcome outcome;
  outcome.exited = WIFEXITED(status);
  outcome.exitCode = outcome.exited ? WEXITSTATUS(status) : -1;
  outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return outcome;
}

ChildOutcome runWithPlugin(const std::map<std::string, std::string>& env,
                           const std::function<int(const host::AvfileApi&)>& body) {
  return runInChild(env, [&] {
    host::LoadedPlugin plugin(CORVANE_PLUGIN_PATH);
    const int code = body(plugin.api());
    plugin.unload();
    return code;
  });
}

}  // namespace corvane::abi
