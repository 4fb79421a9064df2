// Thread and process priorities. Raising them is always best effort: where the
// system refuses real-time scheduling, or CORVANE_REALTIME=0, threads simply
// keep normal priority. Nothing here ever fails.
#pragma once

namespace corvane::platform {

// True unless CORVANE_REALTIME is "0".
bool realtimeAllowed();

// The calling thread's equivalent of the native time-critical priority.
void raiseCurrentThreadToTimeCritical();

// The process's equivalent of the native high priority class.
void raiseProcessToHighPriority();

}  // namespace corvane::platform
