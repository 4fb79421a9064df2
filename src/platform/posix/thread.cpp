#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/environment.h"

namespace corvane::platform {
namespace {

// Below the kernel's own threads (99) but above anything a desktop runs at.
constexpr int kTimeCriticalPriority = 90;
// The high priority class: ahead of normal processes without starving them.
constexpr int kHighPriorityNice = -10;
// pthread_setname_np refuses longer names (16 bytes with the terminator).
constexpr std::size_t kMaxThreadName = 15;

static_assert(sizeof(pthread_t) <= sizeof(std::uintptr_t));

std::uintptr_t toNative(pthread_t id) {
  std::uintptr_t native = 0;
  std::memcpy(&native, &id, sizeof id);
  return native;
}

pthread_t fromNative(std::uintptr_t native) {
  pthread_t id{};
  std::memcpy(&id, &native, sizeof id);
  return id;
}

// Everything the new thread needs; it owns this, never the Thread object, so a
// body that destroys its owner leaves the thread nothing dangling.
struct Launch {
  std::function<void()> body;
  std::string name;
  ThreadPriority priority;
};

extern "C" void* runLaunch(void* argument) noexcept {
  std::unique_ptr<Launch> launch(static_cast<Launch*>(argument));
  (void)::pthread_setname_np(::pthread_self(), launch->name.c_str());
  if (launch->priority == ThreadPriority::TimeCritical) raiseCurrentThreadToTimeCritical();
  launch->body();  // noexcept: an escaping exception ends the process
  return nullptr;
}

}  // namespace

bool realtimeAllowed() {
  const auto value = environmentValue("CORVANE_REALTIME");
  return !(value && *value == "0");
}

void raiseCurrentThreadToTimeCritical() {
  if (!realtimeAllowed()) return;
  sched_param param{};
  const int top = ::sched_get_priority_max(SCHED_FIFO);
  param.sched_priority = top < kTimeCriticalPriority ? top : kTimeCriticalPriority;
  // EPERM without CAP_SYS_NICE or an rtprio limit is normal: stay as we are.
  (void)::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &param);
}

void raiseProcessToHighPriority() {
  if (!realtimeAllowed()) return;
  (void)::setpriority(PRIO_PROCESS, 0, kHighPriorityNice);
}

Thread::~Thread() { join(); }

std::error_code Thread::start(const ThreadOptions& options, std::function<void()> body) {
  auto launch = std::make_unique<Launch>(
      Launch{std::move(body), std::string(options.name.substr(0, kMaxThreadName)), options.priority});
  std::lock_guard guard(lock_);
  if (state_ != State::Idle) return std::make_error_code(std::errc::operation_in_progress);
  pthread_t id{};
  // Held across the create, so a thread that joins itself at once finds its id.
  if (const int error = ::pthread_create(&id, nullptr, runLaunch, launch.get()); error != 0) {
    return {error, std::generic_category()};
  }
  (void)launch.release();  // the thread owns it now
  native_ = toNative(id);
  state_ = State::Running;
  return {};
}

void Thread::join() {
  std::unique_lock guard(lock_);
  if (state_ == State::Idle) return;
  const pthread_t id = fromNative(native_);
  if (::pthread_equal(id, ::pthread_self())) {
    // A thread cannot wait for its own end. Let it go, unless another thread is
    // already joining it, which then reclaims it.
    if (state_ == State::Running) {
      (void)::pthread_detach(id);
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
  (void)::pthread_join(id, nullptr);
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
