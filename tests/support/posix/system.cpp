#include "support/system.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <new>
#include <thread>

extern char** environ;

namespace corvane::testing {

void unsetEnvironmentValue(const std::string& name) { ::unsetenv(name.c_str()); }

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const ProgramSetup& setup) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    if (!setup.environment.contains(text.substr(0, text.find('=')))) environment.push_back(text);
  }
  for (const auto& [name, value] : setup.environment)
    if (value) environment.push_back(name + "=" + *value);
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  std::vector<std::string> argStore{program};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argStore) argv.push_back(arg.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string input = setup.stdinPath.empty() ? "/dev/null" : setup.stdinPath;
  posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, setup.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, setup.stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ProgramRun run;
  if (failed != 0) return run;

  const auto deadline = std::chrono::steady_clock::now() + setup.deadline;
  int status = 0;
  for (;;) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) return run;
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      run.timedOut = true;
      return run;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  return run;
}

char pathListSeparator() { return ':'; }
int currentProcessId() { return static_cast<int>(::getpid()); }

std::vector<int> childProcessIds() {
  std::ifstream in("/proc/self/task/" + std::to_string(::getpid()) + "/children");
  std::vector<int> pids;
  for (int pid = 0; in >> pid;) pids.push_back(pid);
  return pids;
}

bool eventSignalled(std::intptr_t event) {
  pollfd watched{static_cast<int>(event), POLLIN, 0};
  return ::poll(&watched, 1, 0) == 1;
}

std::uintptr_t faultHandlerIdentity() {
  struct sigaction current {};
  ::sigaction(SIGSEGV, nullptr, &current);
  return reinterpret_cast<std::uintptr_t>(current.sa_sigaction);
}

ChildEnd decodeChildStatus(int status) {
  ChildEnd end;
  end.exited = WIFEXITED(status);
  if (end.exited) end.exitCode = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) end.signal = WTERMSIG(status);
  return end;
}

std::size_t systemPageSize() { return static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)); }

void* mapWithGuardPage(std::size_t bytes) {
  const std::size_t page = systemPageSize();
  void* base = ::mmap(nullptr, bytes + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (base == MAP_FAILED) throw std::bad_alloc();
  if (::mprotect(static_cast<char*>(base) + bytes, page, PROT_NONE) != 0) {
    ::munmap(base, bytes + page);
    throw std::bad_alloc();
  }
  return base;
}

void unmapWithGuardPage(void* base, std::size_t bytes) { ::munmap(base, bytes + systemPageSize()); }

}  // namespace corvane::testing
