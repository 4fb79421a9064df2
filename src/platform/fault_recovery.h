// Recovery from processor faults (bad addresses from a host, a wild pointer)
// inside guarded export bodies. While a body runs under callWithFaultRecovery
// on a thread, a processor fault on that thread (SIGSEGV, SIGBUS, SIGILL,
// SIGFPE on POSIX; access violation, in-page error, illegal instruction,
// arithmetic fault, stack overflow on Windows) abandons the body and the call
// returns false; destructors of the abandoned frames do not run. Faults on
// threads with no recovery point go to the previous handler; on Windows a
// handler the body's own callees set up nearer the fault comes first, as it
// would for a structured exception handler. C++ exceptions pass through
// unchanged.
#pragma once

#include <utility>

namespace corvane::platform {

bool callWithFaultRecovery(void (*body)(void*), void* context);

// True while the calling thread runs a body under callWithFaultRecovery.
bool insideFaultRecovery();

template <class Body>
bool runWithFaultRecovery(Body&& body) {
  return callWithFaultRecovery([](void* ctx) { (*static_cast<Body*>(ctx))(); },
                               const_cast<void*>(static_cast<const void*>(&body)));
}

}  // namespace corvane::platform
