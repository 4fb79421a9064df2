// A mutex shared by the time-critical playback thread and the host's threads
// at normal priority. While the playback thread waits for it, the holder runs
// at the waiter's priority, so a host thread preempted inside a short critical
// section cannot hold playback up for a whole scheduling slice (priority
// inversion). Meets the standard Lockable requirements.
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
  alignas(16) unsigned char native_[64];
};

}  // namespace corvane::platform
