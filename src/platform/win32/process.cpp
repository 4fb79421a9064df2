#include "platform/process.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

namespace corvane::platform {
namespace {

constexpr DWORD kPathRoom = 1024;

HANDLE toHandle(std::uintptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Names compare without case, as the system looks them up. An entry's name
// may itself begin with '=' (the per-drive current directories).
std::string_view nameOf(std::string_view entry) { return entry.substr(0, entry.find('=', 1)); }

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         ::CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size())) == CSTR_EQUAL;
}

// This process's environment block with the entries of extra put in place of
// those of the same name: NUL-separated entries, ended by an empty one.
std::vector<char> childEnvironment(std::span<const std::string> extra) {
  std::vector<char> block;
  const auto add = [&block](std::string_view entry) {
    block.insert(block.end(), entry.begin(), entry.end());
    block.push_back('\0');
  };
  if (char* own = ::GetEnvironmentStringsA(); own != nullptr) {
    for (const char* entry = own; *entry != '\0'; entry += std::char_traits<char>::length(entry) + 1) {
      const std::string_view name = nameOf(entry);
      const bool replaced = std::any_of(extra.begin(), extra.end(), [&](const std::string& added) {
        return sameName(nameOf(added), name);
      });
      if (!replaced) add(entry);
    }
    ::FreeEnvironmentStringsA(own);
  }
  for (const std::string& added : extra) add(added);
  block.push_back('\0');
  return block;
}

std::optional<ExitStatus> exitStatusOf(HANDLE process) {
  DWORD code = 0;
  if (!::GetExitCodeProcess(process, &code)) return ExitStatus{false, 0, true};
  return ExitStatus{false, static_cast<int>(code), false};
}

// Posts the close request to every top-level window of the process whose id
// rides in parameter; the walk goes on to the last window.
BOOL CALLBACK closeWindowOf(HWND window, LPARAM parameter) {
  DWORD owner = 0;
  ::GetWindowThreadProcessId(window, &owner);
  if (owner == static_cast<DWORD>(parameter)) ::PostMessageA(window, WM_CLOSE, 0, 0);
  return TRUE;
}

}  // namespace

void exitProcess(int code) { std::exit(code); }

std::optional<std::string> searchProgram(std::string_view fileName) {
  if (fileName.empty()) return std::nullopt;
  const std::string name(fileName);
  std::string path(kPathRoom, '\0');
  DWORD length =
      ::SearchPathA(nullptr, name.c_str(), nullptr, static_cast<DWORD>(path.size()), path.data(), nullptr);
  if (length >= path.size()) {  // too small: length is the room needed
    path.resize(length);
    length =
        ::SearchPathA(nullptr, name.c_str(), nullptr, static_cast<DWORD>(path.size()), path.data(), nullptr);
  }
  if (length == 0 || length >= path.size()) return std::nullopt;
  path.resize(length);
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return std::nullopt;
  return path;
}

ChildProcess ChildProcess::start(std::string_view fileName, SpawnError& error,
                                 std::span<const std::string> extraEnvironment) {
  ChildProcess child;
  std::optional<std::string> path = searchProgram(fileName);
  if (!path) {
    error = SpawnError::NotFound;
    return child;
  }
  // No arguments: an empty command line, which the call may write to.
  char commandLine[1] = {'\0'};
  std::vector<char> environment;
  if (!extraEnvironment.empty()) environment = childEnvironment(extraEnvironment);
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!::CreateProcessA(path->c_str(), commandLine, nullptr, nullptr, FALSE, 0,
                        environment.empty() ? nullptr : environment.data(), nullptr, &startup, &started)) {
    error = SpawnError::StartFailed;
    return child;
  }
  ::CloseHandle(started.hThread);
  // The process handle is kept: while it is open the id cannot name another
  // process, and it gives the exit code once the child has ended.
  child.handle_ = reinterpret_cast<std::uintptr_t>(started.hProcess);
  child.pid_ = static_cast<std::int32_t>(started.dwProcessId);
  error = SpawnError::None;
  return child;
}

bool ChildProcess::tryReap() {
  if (status_) return true;
  if (::WaitForSingleObject(toHandle(handle_), 0) != WAIT_OBJECT_0) return false;
  status_ = exitStatusOf(toHandle(handle_));
  return true;
}

void ChildProcess::killAndReap() {
  ::TerminateProcess(toHandle(handle_), 0);
  ::WaitForSingleObject(toHandle(handle_), INFINITE);
  status_ = exitStatusOf(toHandle(handle_));
}

bool ChildProcess::running() {
  if (!started() || tryReap()) return false;
  HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, static_cast<DWORD>(pid_));
  if (process == nullptr) return false;
  ::CloseHandle(process);
  return true;
}

void ChildProcess::requestClose() { ::EnumWindows(closeWindowOf, static_cast<LPARAM>(pid_)); }

void ChildProcess::release() {
  if (handle_ != 0) ::CloseHandle(toHandle(handle_));
  handle_ = 0;
}

}  // namespace corvane::platform
