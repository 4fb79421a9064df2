#include "platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>

#include "platform/environment.h"

namespace corvane::platform {
namespace {

// Below the kernel's own threads (99) but above anything a desktop runs at.
constexpr int kTimeCriticalPriority = 90;
// The high priority class: ahead of normal processes without starving them.
constexpr int kHighPriorityNice = -10;

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

}  // namespace corvane::platform
