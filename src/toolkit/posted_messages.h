// The process-wide queue of posted toolkit messages, delivered in posting order
// by dispatchPostedMessages (declared in engine/toolkit.h).
#pragma once

#include <cstdint>

#include "engine/toolkit.h"

namespace corvane::tk::detail {

// Thread-safe. A target that is not a live sink at posting time is skipped.
void postMessage(MessageSink* target, std::int32_t message, ToolkitUI* sender);

}  // namespace corvane::tk::detail
