#include "engine/toolkit.h"
#include "toolkit/live_sinks.h"

namespace corvane::tk {

MessageSink::MessageSink() { detail::registerSink(this); }

MessageSink::~MessageSink() { endDeliveries(); }

void MessageSink::endDeliveries() { detail::unregisterSink(this); }

}  // namespace corvane::tk
