#include "platform/thread.h"

#include <windows.h>

#include <memory>
#include <string>

#include "platform/environment.h"

namespace corvane::platform {
namespace {

constexpr std::size_t kMaxThreadName = 15;

HANDLE toHandle(std::uintptr_t native) { return reinterpret_cast<HANDLE>(native); }

// Everything the new thread needs; it owns this, never the Thread object, so a
// body that destroys its owner leaves the thread nothing dangling.
struct Launch {
  std::function<void()> body;
  std::string name;
  ThreadPriority priority;
};

// The name goes to a debugger only: SetThreadDescription needs Windows 10,
// which we do not require, so it is looked up rather than imported.
void nameCurrentThread(const std::string& name) {
  using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
  auto* set = kernel ? reinterpret_cast<SetDescription>(
                           reinterpret_cast<void (*)()>(::GetProcAddress(kernel, "SetThreadDescription")))
                     : nullptr;
  if (set == nullptr) return;
  std::wstring wide(name.begin(), name.end());
  (void)set(::GetCurrentThread(), wide.c_str());
}

DWORD WINAPI runLaunch(LPVOID argument) noexcept {
  std::unique_ptr<Launch> launch(static_cast<Launch*>(argument));
  nameCurrentThread(launch->name);
  if (launch->priority == ThreadPriority::TimeCritical) raiseCurrentThreadToTimeCritical();
  launch->body();  // noexcept: an escaping exception ends the process
  return 0;
}

}  // namespace

bool realtimeAllowed() {
  const auto value = environmentValue("CORVANE_REALTIME");
  return !(value && *value == "0");
}

// Refusals (a job object's limits) leave the thread as it is.
void raiseCurrentThreadToTimeCritical() {
  if (!realtimeAllowed()) return;
  (void)::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
}

void raiseProcessToHighPriority() {
  if (!realtimeAllowed()) return;
  (void)::SetPriorityClass(::GetCurrentProcess(), HIGH_PRIORITY_CLASS);
}

Thread::~Thread() { join(); }

std::error_code Thread::start(const ThreadOptions& options, std::function<void()> body) {
  auto launch = std::make_unique<Launch>(
      Launch{std::move(body), std::string(options.name.substr(0, kMaxThreadName)), options.priority});
  std::lock_guard guard(lock_);
  if (state_ != State::Idle) return std::make_error_code(std::errc::operation_in_progress);
  // Held across the create, so a thread that joins itself at once finds its handle.
  HANDLE thread = ::CreateThread(nullptr, 0, runLaunch, launch.get(), 0, nullptr);
  if (thread == nullptr) {
    const DWORD error = ::GetLastError();
    return {static_cast<int>(error), std::system_category()};
  }
  (void)launch.release();  // the thread owns it now
  native_ = reinterpret_cast<std::uintptr_t>(thread);
  state_ = State::Running;
  return {};
}

void Thread::join() {
  std::unique_lock guard(lock_);
  if (state_ == State::Idle) return;
  const HANDLE thread = toHandle(native_);
  if (::GetThreadId(thread) == ::GetCurrentThreadId()) {
    // A thread cannot wait for its own end. Let it go, unless another thread is
    // already joining it, which then reclaims it.
    if (state_ == State::Running) {
      ::CloseHandle(thread);
      state_ = State::Idle;
    }
    return;
  }
  if (state_ == State::Joining) {
    joined_.wait(guard, [this] { return state_ != State::Joining; });
    return;
  }
  // Waited for without the lock, so started() and other joiners never block on
  // it and the thread may call join() on itself meanwhile.
  state_ = State::Joining;
  guard.unlock();
  ::WaitForSingleObject(thread, INFINITE);
  ::CloseHandle(thread);
  guard.lock();
  state_ = State::Idle;
  guard.unlock();
  joined_.notify_all();
}

bool Thread::started() {
  std::lock_guard guard(lock_);
  return state_ != State::Idle;
}

}  // namespace corvane::platform
