// How every thread of the win32 backend starts and ends; only thread.cpp and
// thread_start.cpp include it.
//
// A join may run under the loader lock (FreeLibrary with a device still
// running), where a thread cannot end: it waits for the thread's "done" event
// instead, and the library may be unmapped the moment that wait returns. So
// setting the event must be the last thing the thread does in our code. The
// start routine is a few instructions of assembly that call the body and then
// jump into kernel32's SetEvent with the body's event, in place of their own
// frame: SetEvent returns straight to the system's thread start, which ends
// the thread with its result.
#pragma once

#include <windows.h>

// The routine given to CreateThread (thread_start.cpp): runs the body with
// argument, then sets the event the body returned, if any, as its last act.
extern "C" DWORD WINAPI corvaneThreadStart(LPVOID argument) asm("corvane_thread_start");

// The thread's whole life in C++ (thread.cpp): the event to set once it has
// returned, or null when nobody waits for it.
extern "C" __attribute__((used)) HANDLE WINAPI corvaneThreadBody(LPVOID argument) noexcept
    asm("corvane_thread_body");
