// The half of Thread that is the same on every system: the join rules.
#include "platform/thread.h"

#include <memory>
#include <string>

#include "platform/environment.h"
#include "platform/thread_native.h"

namespace corvane::platform {
namespace {

// Cut to what pthread_setname_np takes (16 bytes with the terminator).
constexpr std::size_t kMaxThreadName = 15;

// Everything the new thread needs; it owns this, never the Thread object, so a
// body that destroys its owner leaves the thread nothing dangling.
struct Launch {
  std::function<void()> body;
  std::string name;
  ThreadPriority priority;
};

}  // namespace

void native_thread::run(void* argument) noexcept {
  std::unique_ptr<Launch> launch(static_cast<Launch*>(argument));
  nameCurrent(launch->name);
  if (launch->priority == ThreadPriority::TimeCritical) raiseCurrentThreadToTimeCritical();
  launch->body();  // noexcept: an escaping exception ends the process
}

bool realtimeAllowed() {
  const auto value = environmentValue("CORVANE_REALTIME");
  return !(value && *value == "0");
}

Thread::~Thread() { join(); }

std::error_code Thread::start(const ThreadOptions& options, std::function<void()> body) {
  auto launch = std::make_unique<Launch>(
      Launch{std::move(body), std::string(options.name.substr(0, kMaxThreadName)), options.priority});
  std::lock_guard guard(lock_);
  if (state_ != State::Idle) return std::make_error_code(std::errc::operation_in_progress);
  // Held across the start, so a thread that joins itself at once finds its id.
  if (const std::error_code error = native_thread::start(launch.get(), native_); error) return error;
  (void)launch.release();  // the thread owns it now
  state_ = State::Running;
  return {};
}

void Thread::join() {
  std::unique_lock guard(lock_);
  if (state_ == State::Idle) return;
  const std::uintptr_t native = native_;
  if (native_thread::isCurrent(native)) {
    // A thread cannot wait for its own end. Let it go, unless another thread is
    // already joining it, which then reclaims it.
    if (state_ == State::Running) {
      native_thread::letGo(native);
      state_ = State::Idle;
    }
    return;
  }
  if (state_ == State::Joining) {
    joined_.wait(guard, [this] { return state_ != State::Joining; });
    return;
  }
  // Joined without the lock, so started() and other joiners never block on it
  // and the thread may call join() on itself meanwhile.
  state_ = State::Joining;
  guard.unlock();
  native_thread::join(native);
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
