// Recovery from processor faults (bad addresses from a host, a wild pointer)
// inside guarded export bodies. While a body runs under callWithFaultRecovery
// on a thread, a SIGSEGV, SIGBUS, SIGILL or SIGFPE on that thread abandons the
// body and the call returns false; destructors of the abandoned frames do not
// run. Faults on threads with no recovery point go to the previous handler.
// C++ exceptions pass through unchanged.
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
