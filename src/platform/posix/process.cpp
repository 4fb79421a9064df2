#include "platform/process.h"

#include <errno.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

extern char** environ;

namespace corvane::platform {

namespace {

constexpr std::string_view kWindowsSuffix = ".exe";
// Where the shell looks when PATH is unset.
constexpr std::string_view kDefaultPath = "/usr/local/bin:/usr/bin:/bin";

bool endsWithExe(std::string_view name) {
  if (name.size() <= kWindowsSuffix.size()) return false;
  std::string_view tail = name.substr(name.size() - kWindowsSuffix.size());
  return std::equal(tail.begin(), tail.end(), kWindowsSuffix.begin(), [](char a, char b) {
    return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
  });
}

bool isExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

ExitStatus decode(int raw) {
  if (WIFSIGNALED(raw)) return ExitStatus{true, WTERMSIG(raw), false};
  return ExitStatus{false, WEXITSTATUS(raw), false};
}

}  // namespace

void exitProcess(int code) { std::exit(code); }

std::optional<std::string> searchProgram(std::string_view fileName) {
  if (endsWithExe(fileName)) fileName.remove_suffix(kWindowsSuffix.size());
  if (fileName.empty()) return std::nullopt;
  std::string name(fileName);
  if (name.find('/') != std::string::npos) {
    if (isExecutableFile(name)) return name;
    return std::nullopt;
  }
  const char* pathVar = std::getenv("PATH");
  std::string_view dirs = pathVar != nullptr ? std::string_view(pathVar) : kDefaultPath;
  while (true) {
    std::size_t colon = dirs.find(':');
    std::string_view dir = dirs.substr(0, colon);
    // An empty entry is the current directory, as the shell reads it.
    std::string candidate = dir.empty() ? name : std::string(dir) + "/" + name;
    if (isExecutableFile(candidate)) return candidate;
    if (colon == std::string_view::npos) return std::nullopt;
    dirs.remove_prefix(colon + 1);
  }
}

namespace {

// environ with the entries of extra put in place of those of the same name.
std::vector<char*> childEnvironment(std::span<const std::string> extra) {
  const auto nameOf = [](std::string_view entry) { return entry.substr(0, entry.find('=')); };
  std::vector<char*> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string_view name = nameOf(*entry);
    const bool replaced = std::any_of(extra.begin(), extra.end(),
                                      [&](const std::string& added) { return nameOf(added) == name; });
    if (!replaced) entries.push_back(*entry);
  }
  for (const std::string& added : extra) entries.push_back(const_cast<char*>(added.c_str()));
  entries.push_back(nullptr);
  return entries;
}

}  // namespace

ChildProcess ChildProcess::start(std::string_view fileName, SpawnError& error,
                                 std::span<const std::string> extraEnvironment) {
  ChildProcess child;
  std::optional<std::string> path = searchProgram(fileName);
  if (!path) {
    error = SpawnError::NotFound;
    return child;
  }
  posix_spawn_file_actions_t actions;
  if (::posix_spawn_file_actions_init(&actions) != 0) {
    error = SpawnError::StartFailed;
    return child;
  }
  ::posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  char* argv[] = {path->data(), nullptr};
  pid_t pid = 0;
  std::vector<char*> environment = childEnvironment(extraEnvironment);
  // A group of its own: a Ctrl-C at the host's terminal is for the host,
  // which closes its previews itself (and they end when the host is gone).
  posix_spawnattr_t attributes;
  int rc = ::posix_spawnattr_init(&attributes);
  if (rc == 0) {
    rc = ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    if (rc == 0) rc = ::posix_spawnattr_setpgroup(&attributes, 0);
    if (rc == 0) rc = ::posix_spawn(&pid, path->c_str(), &actions, &attributes, argv, environment.data());
    ::posix_spawnattr_destroy(&attributes);
  }
  ::posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    error = SpawnError::StartFailed;
    return child;
  }
  child.pid_ = pid;
  error = SpawnError::None;
  return child;
}

bool ChildProcess::tryReap() {
  if (status_) return true;
  int raw = 0;
  pid_t got = ::waitpid(pid_, &raw, WNOHANG);
  if (got == pid_) {
    status_ = decode(raw);
    return true;
  }
  // ECHILD: the host ignores SIGCHLD, so the system has reaped it already.
  if (got < 0 && errno == ECHILD) {
    status_ = ExitStatus{false, 0, true};
    return true;
  }
  return false;
}

void ChildProcess::killAndReap() {
  ::kill(pid_, SIGKILL);
  int raw = 0;
  pid_t got = 0;
  do {
    got = ::waitpid(pid_, &raw, 0);
  } while (got < 0 && errno == EINTR);
  status_ = got == pid_ ? decode(raw) : ExitStatus{false, 0, true};
}

bool ChildProcess::running() {
  if (!started() || tryReap()) return false;
  return ::kill(pid_, 0) == 0;
}

void ChildProcess::requestClose() { ::kill(pid_, SIGTERM); }

// A reaped pid holds nothing of ours.
void ChildProcess::release() {}

}  // namespace corvane::platform
