// Threads and priorities. Every thread the plug-in starts (playback, capture,
// the file engine's read-ahead helper, the toolkit's Thread) is a
// platform::Thread, so naming, priority and the join rules are the same
// everywhere.
//
// Raising priorities is always best effort: where the system refuses
// real-time scheduling, or CORVANE_REALTIME=0, threads simply keep normal
// priority. That never fails a start.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string_view>
#include <system_error>

namespace corvane::platform {

// True unless CORVANE_REALTIME is "0".
bool realtimeAllowed();

// The calling thread's equivalent of the native time-critical priority.
void raiseCurrentThreadToTimeCritical();

// The process's equivalent of the native high priority class.
void raiseProcessToHighPriority();

enum class ThreadPriority : std::uint8_t {
  Normal,
  TimeCritical,  // raised with raiseCurrentThreadToTimeCritical before the body runs
};

struct ThreadOptions {
  // Shown by ps and debuggers; cut to 15 characters, the POSIX limit.
  std::string_view name;
  ThreadPriority priority = ThreadPriority::Normal;
};

// One OS thread, owned: the destructor joins it.
//
// - start() runs body on a new thread. A thread that cannot be started is an
//   error code (the object stays idle), never an exception. A body that
//   throws ends the process, as an escaping exception of any thread does.
// - join() waits until the body has returned. It may be called from any
//   thread, by several at once; each returns once the thread has ended.
// - Called by the thread itself (its body destroys the object that owns it,
//   or stops itself), join() cannot wait for its own end: it lets the thread
//   go instead, and the system reclaims it when the body returns. The body
//   must then touch nothing of the destroyed owner afterwards; the thread
//   itself keeps nothing of the object. If another thread is joining at that
//   moment, that join completes it.
// - Once joined (or let go) the object can start another thread.
// - The object must outlive every join() made on it from another thread.
class Thread {
 public:
  Thread() = default;
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Fails with operation_in_progress while a started thread is not joined,
  // or with the system's reason (resource_unavailable_try_again, ...).
  [[nodiscard]] std::error_code start(const ThreadOptions& options, std::function<void()> body);
  void join();
  // True from a successful start until a join.
  bool started();

 private:
  enum class State : std::uint8_t { Idle, Running, Joining };

  std::mutex lock_;
  std::condition_variable joined_;
  State state_ = State::Idle;  // guarded by lock_
  std::uintptr_t native_ = 0;  // the OS thread while not Idle; guarded by lock_
};

}  // namespace corvane::platform
