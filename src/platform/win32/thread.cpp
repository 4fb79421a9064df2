#include "platform/thread.h"

#include <windows.h>

#include <new>
#include <string>

#include "platform/thread_native.h"
#include "platform/win32/thread_start.h"

namespace corvane::platform {
namespace {

// What the starter, the thread and its joiner share; the thread's native id
// is its address. The joiner frees it, or the thread itself once let go.
struct NativeThread {
  void* launch = nullptr;
  // Set by the thread once it runs our code: past the loader's thread attach,
  // which needs the loader lock.
  HANDLE entered = nullptr;
  // Set by the thread as its very last act (thread_start.h).
  HANDLE done = nullptr;
  HANDLE thread = nullptr;
  DWORD id = 0;
  bool letGo = false;  // written and read by the thread only
};

NativeThread* fromNative(std::uintptr_t native) { return reinterpret_cast<NativeThread*>(native); }

using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);

// Looked up once, by the first start, never on a new thread: the lookup takes
// the loader lock, which an unload may be holding while it waits for that
// thread. SetThreadDescription needs Windows 10, which we do not require.
SetDescription threadDescriptionSetter() {
  static const SetDescription setter = [] {
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    FARPROC found = kernel != nullptr ? ::GetProcAddress(kernel, "SetThreadDescription") : nullptr;
    return reinterpret_cast<SetDescription>(reinterpret_cast<void (*)()>(found));
  }();
  return setter;
}

void closeEvents(NativeThread& record) {
  if (record.entered != nullptr) ::CloseHandle(record.entered);
  if (record.done != nullptr) ::CloseHandle(record.done);
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

// Returns once the thread runs our code, so a FreeLibrary right after the
// caller's start never finds it still waiting in the loader. Hence also: no
// thread starts under the loader lock, where it could never get that far.
std::error_code start(void* launch, std::uintptr_t& native) {
  (void)threadDescriptionSetter();
  auto* record = new (std::nothrow) NativeThread{};
  if (record == nullptr) return std::make_error_code(std::errc::not_enough_memory);
  record->launch = launch;
  record->entered = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  record->done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (record->entered != nullptr && record->done != nullptr) {
    record->thread = ::CreateThread(nullptr, 0, corvaneThreadStart, record, 0, &record->id);
  }
  if (record->thread == nullptr) {
    const std::error_code error(static_cast<int>(::GetLastError()), std::system_category());
    closeEvents(*record);
    delete record;
    return error;
  }
  // The handle too: a thread ended before it got here (the process is
  // exiting) sets nothing.
  const HANDLE started[] = {record->entered, record->thread};
  ::WaitForMultipleObjects(2, started, FALSE, INFINITE);
  ::CloseHandle(record->entered);
  record->entered = nullptr;
  native = reinterpret_cast<std::uintptr_t>(record);
  return {};
}

bool isCurrent(std::uintptr_t native) { return fromNative(native)->id == ::GetCurrentThreadId(); }

// Only ever called by the thread itself, from its body.
void letGo(std::uintptr_t native) {
  NativeThread* record = fromNative(native);
  ::CloseHandle(record->thread);
  record->thread = nullptr;
  record->letGo = true;
}

// The thread's handle alone would wait for ever under the loader lock; the
// event alone would at process exit, where the system has ended the thread
// before it set it. Whichever comes first: after either, the thread runs no
// more of our code.
void join(std::uintptr_t native) {
  NativeThread* record = fromNative(native);
  const HANDLE ended[] = {record->done, record->thread};
  ::WaitForMultipleObjects(2, ended, FALSE, INFINITE);
  ::CloseHandle(record->thread);
  closeEvents(*record);
  delete record;
}

// For debuggers only.
void nameCurrent(const std::string& name) {
  const SetDescription setter = threadDescriptionSetter();
  if (setter == nullptr) return;
  const std::wstring wide(name.begin(), name.end());
  (void)setter(::GetCurrentThread(), wide.c_str());
}

}  // namespace native_thread
}  // namespace corvane::platform

HANDLE WINAPI corvaneThreadBody(LPVOID argument) noexcept {
  using corvane::platform::NativeThread;
  auto* record = static_cast<NativeThread*>(argument);
  // The starter closes it once it wakes: not touched again.
  ::SetEvent(record->entered);
  corvane::platform::native_thread::run(record->launch);
  if (!record->letGo) return record->done;
  // Nobody joins a thread let go: it frees what it shared.
  corvane::platform::closeEvents(*record);
  delete record;
  return nullptr;
}
