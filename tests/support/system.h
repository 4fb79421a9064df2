// What tests need from the system beyond the platform layer: the environment
// set and cleared for a while, and another program run to its end with its
// output kept. One backend per system (posix/, win32/).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace corvane::testing {

std::optional<std::string> environmentValue(const std::string& name);
void setEnvironmentValue(const std::string& name, const std::string& value);
void unsetEnvironmentValue(const std::string& name);

// Sets (or with nullopt clears) one variable, and puts it back as it was.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, const std::optional<std::string>& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::optional<std::string> saved_;
};

struct ProgramRun {
  int exitCode = -1;  // -1 when it ended by a signal or was killed
  bool timedOut = false;
};

// What runProgram gives the program besides its arguments. The environment is
// ours with each entry of environment set (or, for nullopt, removed).
struct ProgramSetup {
  std::map<std::string, std::optional<std::string>> environment;
  std::string stdinPath;  // empty: an empty input
  std::string stdoutPath;
  std::string stderrPath;
  std::chrono::seconds deadline{180};  // then it is killed and timedOut set
};

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const ProgramSetup& setup);

// What separates the directories of PATH.
char pathListSeparator();
int currentProcessId();
// The processes this one started that have not been reaped yet (POSIX: those
// started by the main thread, ended or not; Windows: those still running).
std::vector<int> childProcessIds();
// True when the event the plug-in handed out (a descriptor or a handle) is
// signalled now.
bool eventSignalled(std::intptr_t event);

// Who handles a processor fault that nothing else handles: the process's
// handler for it, as an address, to compare before and after a load.
std::uintptr_t faultHandlerIdentity();

// How a child ended, from the status the system reports for it.
struct ChildEnd {
  bool exited = false;  // false: ended by a signal or a fault
  int exitCode = -1;
  int signal = 0;  // the signal, or the fault's code where there are no signals
};
ChildEnd decodeChildStatus(int status);

// bytes of read-write memory, page-aligned, directly followed by a page that
// faults on any access. Throws std::bad_alloc when the system refuses.
void* mapWithGuardPage(std::size_t bytes);
void unmapWithGuardPage(void* base, std::size_t bytes);
std::size_t systemPageSize();

}  // namespace corvane::testing
