#include "platform/thread.h"

#include <windows.h>

#include <string>

#include "platform/thread_native.h"

namespace corvane::platform {
namespace {

HANDLE toHandle(std::uintptr_t native) { return reinterpret_cast<HANDLE>(native); }

DWORD WINAPI runLaunch(LPVOID launch) noexcept {
  native_thread::run(launch);
  return 0;
}

}  // namespace

// Refusals (a job object's limits) leave the thread as it is.
void raiseCurrentThreadToTimeCritical() {
  if (!realtimeAllowed()) return;
  (void)::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
}

void raiseProcessToHighPriority() {
  if (!realtimeAllowed()) return;
  (void)::SetPriorityClass(::GetCurrentProcess(), HIGH_PRIORITY_CLASS);
}

namespace native_thread {

// The thread's handle is its id here: it also names it for the join.
std::error_code start(void* launch, std::uintptr_t& native) {
  HANDLE thread = ::CreateThread(nullptr, 0, runLaunch, launch, 0, nullptr);
  if (thread == nullptr) return {static_cast<int>(::GetLastError()), std::system_category()};
  native = reinterpret_cast<std::uintptr_t>(thread);
  return {};
}

bool isCurrent(std::uintptr_t native) { return ::GetThreadId(toHandle(native)) == ::GetCurrentThreadId(); }

void letGo(std::uintptr_t native) { ::CloseHandle(toHandle(native)); }

void join(std::uintptr_t native) {
  ::WaitForSingleObject(toHandle(native), INFINITE);
  ::CloseHandle(toHandle(native));
}

// For debuggers only. SetThreadDescription needs Windows 10, which we do not
// require, so it is looked up rather than imported.
void nameCurrent(const std::string& name) {
  using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  FARPROC found = kernel != nullptr ? ::GetProcAddress(kernel, "SetThreadDescription") : nullptr;
  if (found == nullptr) return;
  const std::wstring wide(name.begin(), name.end());
  (void)reinterpret_cast<SetDescription>(reinterpret_cast<void (*)()>(found))(::GetCurrentThread(),
                                                                              wide.c_str());
}

}  // namespace native_thread
}  // namespace corvane::platform
