#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include <cstring>

#include "platform/thread_native.h"

namespace corvane::platform {
namespace {

// Below the kernel's own threads (99) but above anything a desktop runs at.
constexpr int kTimeCriticalPriority = 90;
// The high priority class: ahead of normal processes without starving them.
constexpr int kHighPriorityNice = -10;

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

extern "C" void* runLaunch(void* launch) noexcept {
  native_thread::run(launch);
  return nullptr;
}

}  // namespace

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

namespace native_thread {

std::error_code start(void* launch, std::uintptr_t& native) {
  pthread_t id{};
  if (const int error = ::pthread_create(&id, nullptr, runLaunch, launch); error != 0) {
    return {error, std::generic_category()};
  }
  native = toNative(id);
  return {};
}

bool isCurrent(std::uintptr_t native) { return ::pthread_equal(fromNative(native), ::pthread_self()); }

void letGo(std::uintptr_t native) { (void)::pthread_detach(fromNative(native)); }

void join(std::uintptr_t native) { (void)::pthread_join(fromNative(native), nullptr); }

void nameCurrent(const std::string& name) { (void)::pthread_setname_np(::pthread_self(), name.c_str()); }

}  // namespace native_thread
}  // namespace corvane::platform
