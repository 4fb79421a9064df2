#include "platform/pi_mutex.h"

#include <pthread.h>

#include <system_error>

namespace corvane::platform {
namespace {

static_assert(sizeof(pthread_mutex_t) <= 64 && alignof(pthread_mutex_t) <= 16);

pthread_mutex_t* native(unsigned char* storage) { return reinterpret_cast<pthread_mutex_t*>(storage); }

}  // namespace

PriorityInheritanceMutex::PriorityInheritanceMutex() {
  pthread_mutexattr_t attributes;
  ::pthread_mutexattr_init(&attributes);
  // Where the system has no priority inheritance the mutex is a plain one.
  (void)::pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
  const int error = ::pthread_mutex_init(native(native_), &attributes);
  ::pthread_mutexattr_destroy(&attributes);
  if (error != 0) throw std::system_error(error, std::generic_category(), "pthread_mutex_init");
}

PriorityInheritanceMutex::~PriorityInheritanceMutex() { ::pthread_mutex_destroy(native(native_)); }

void PriorityInheritanceMutex::lock() {
  if (const int error = ::pthread_mutex_lock(native(native_)); error != 0) {
    throw std::system_error(error, std::generic_category(), "pthread_mutex_lock");
  }
}

void PriorityInheritanceMutex::unlock() { ::pthread_mutex_unlock(native(native_)); }

bool PriorityInheritanceMutex::try_lock() { return ::pthread_mutex_trylock(native(native_)) == 0; }

}  // namespace corvane::platform
