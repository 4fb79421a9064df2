// The process-wide set of message sinks that exist right now. A posted message
// waits in a queue while its target may be destroyed; delivery first asks this
// set, so a message to a dead sink is dropped instead of reaching freed memory.
// Each registration gets a fresh serial number, so a new sink that happens to
// reuse a dead one's address does not receive the dead one's mail.
#pragma once

#include <cstdint>

#include "engine/toolkit.h"

namespace corvane::tk::detail {

// Thread-safe. Returns the serial number of this life of the sink.
std::uint64_t registerSink(MessageSink* sink);
// Waits while another thread delivers a message to the sink.
void unregisterSink(MessageSink* sink);

// The sink's current serial number, or 0 when no such sink exists.
std::uint64_t sinkSerial(MessageSink* sink);

// Delivers the message when the sink is still the same live object. The
// registry lock is not held during delivery, so the handler may create or
// destroy sinks (its own included); a sink destroyed on another thread
// meanwhile is unregistered only once the delivery has returned.
void deliverIfAlive(MessageSink* sink, std::uint64_t serial, std::int32_t message, ToolkitUI* sender);

}  // namespace corvane::tk::detail
