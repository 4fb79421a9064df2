#include "support/system.h"

#include <windows.h>
// after windows.h, which it needs
#include <tlhelp32.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>

namespace corvane::testing {

void unsetEnvironmentValue(const std::string& name) { SetEnvironmentVariableA(name.c_str(), nullptr); }

namespace {

// One argument as the C runtime's command-line parser reads it back.
std::string quoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, '\\');
  return quoted + "\"";
}

std::string upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

// Ours with the changes applied, sorted by name as the system expects.
std::string environmentBlock(const std::map<std::string, std::optional<std::string>>& changes) {
  std::map<std::string, std::string> entries;  // by upper-case name
  if (char* block = GetEnvironmentStringsA()) {
    for (const char* entry = block; *entry != '\0'; entry += std::strlen(entry) + 1) {
      const std::string text = entry;
      const std::size_t equals = text.find('=', 1);  // "=C:=C:\..." entries start with '='
      entries[upper(text.substr(0, equals))] = text;
    }
    FreeEnvironmentStringsA(block);
  }
  for (const auto& [name, value] : changes) {
    if (value)
      entries[upper(name)] = name + "=" + *value;
    else
      entries.erase(upper(name));
  }
  std::string result;
  for (const auto& [key, text] : entries) result += text + '\0';
  return result + '\0';
}

HANDLE inheritable(const std::string& path, bool write) {
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, TRUE};
  return CreateFileA(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     &attributes, write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const ProgramSetup& setup) {
  ProgramRun run;
  std::string commandLine = quoteArgument(program);
  for (const std::string& arg : args) commandLine += " " + quoteArgument(arg);
  std::string environment = environmentBlock(setup.environment);

  const HANDLE input = inheritable(setup.stdinPath.empty() ? "NUL" : setup.stdinPath, false);
  const HANDLE output = inheritable(setup.stdoutPath, true);
  const HANDLE error = inheritable(setup.stderrPath, true);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = error;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                                      environment.data(), nullptr, &startup, &process);
  for (HANDLE handle : {input, output, error})
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  if (!started) return run;
  CloseHandle(process.hThread);

  const auto milliseconds = std::chrono::duration_cast<std::chrono::milliseconds>(setup.deadline).count();
  if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(milliseconds)) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, INFINITE);
    run.timedOut = true;
  } else {
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code)) run.exitCode = static_cast<int>(code);
  }
  CloseHandle(process.hProcess);
  return run;
}

char pathListSeparator() { return ';'; }
int currentProcessId() { return static_cast<int>(GetCurrentProcessId()); }

std::vector<int> childProcessIds() {
  std::vector<int> pids;
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return pids;
  PROCESSENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
    if (entry.th32ParentProcessID == GetCurrentProcessId())
      pids.push_back(static_cast<int>(entry.th32ProcessID));
  CloseHandle(snapshot);
  return pids;
}

bool eventSignalled(std::intptr_t event) {
  return WaitForSingleObject(reinterpret_cast<HANDLE>(event), 0) == WAIT_OBJECT_0;
}

// Vectored handlers cannot be listed; the unhandled-exception filter can.
std::uintptr_t faultHandlerIdentity() {
  const LPTOP_LEVEL_EXCEPTION_FILTER current = SetUnhandledExceptionFilter(nullptr);
  SetUnhandledExceptionFilter(current);
  return reinterpret_cast<std::uintptr_t>(current);
}

// An exit code in the range of exception codes means the process died of one.
ChildEnd decodeChildStatus(int status) {
  ChildEnd end;
  end.exited = (static_cast<DWORD>(status) & 0xF0000000u) != 0xC0000000u;
  if (end.exited)
    end.exitCode = status;
  else
    end.signal = status;
  return end;
}

std::size_t systemPageSize() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwPageSize;
}

void* mapWithGuardPage(std::size_t bytes) {
  void* base = VirtualAlloc(nullptr, bytes + systemPageSize(), MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (base == nullptr) throw std::bad_alloc();
  DWORD old = 0;
  if (!VirtualProtect(static_cast<char*>(base) + bytes, systemPageSize(), PAGE_NOACCESS, &old)) {
    VirtualFree(base, 0, MEM_RELEASE);
    throw std::bad_alloc();
  }
  return base;
}

void unmapWithGuardPage(void* base, std::size_t) { VirtualFree(base, 0, MEM_RELEASE); }

}  // namespace corvane::testing
