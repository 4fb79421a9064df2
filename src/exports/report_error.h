// ReportError, the guard of an exported function. The body runs inside it;
// an EngineError's text is shown in a message box captioned with the export's
// name, any other failure (another exception, or a processor fault such as a
// bad address handed in by the host) as "Unknown Internal Error". Either way
// the export then returns 0, and the state is what the interrupted body left.
#pragma once

#include <cstdint>

#include "engine/error.h"
#include "platform/fault_recovery.h"
#include "platform/message.h"

namespace corvane::exports {

inline constexpr const char* kUnknownInternalError = "Unknown Internal Error";

template <class Body>
std::int32_t reportError(const char* caption, Body&& body) noexcept {
  std::int32_t result = 0;
  const char* failure = nullptr;
  try {
    if (!platform::runWithFaultRecovery([&] { result = body(); })) failure = kUnknownInternalError;
  } catch (const EngineError& error) {
    failure = error.what();
  } catch (...) {
    failure = kUnknownInternalError;
  }
  if (failure == nullptr) return result;
  try {
    platform::showMessageBox(caption, failure);
  } catch (...) {
    // A box that cannot be shown must not take the host down with it.
  }
  return 0;
}

// The exports that have no guard: a refusal is their whole answer, never a
// message, and no exception may cross into the host.
template <class Body>
std::int32_t unguarded(Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return 0;
  }
}

}  // namespace corvane::exports
