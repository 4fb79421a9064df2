// A mutex shared by the time-critical playback thread and the host's threads
// at normal priority. Where the system inherits priorities (POSIX), the holder
// runs at the waiter's priority while the playback thread waits for it, so a
// host thread preempted inside a short critical section cannot hold playback
// up for a whole scheduling slice (priority inversion). A Windows critical
// section inherits nothing: there the scheduler's boost of starved ready
// threads ends such an inversion, later. Meets the standard Lockable
// requirements.
#pragma once

#include <cstddef>

namespace corvane::platform {

class PriorityInheritanceMutex {
 public:
  PriorityInheritanceMutex();
  ~PriorityInheritanceMutex();
  PriorityInheritanceMutex(const PriorityInheritanceMutex&) = delete;
  PriorityInheritanceMutex& operator=(const PriorityInheritanceMutex&) = delete;

  void lock();
  void unlock();
  bool try_lock();

 private:
  // The system's mutex in place; each backend checks that its own fits.
  alignas(16) unsigned char native_[64];
};

}  // namespace corvane::platform
