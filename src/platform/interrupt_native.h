// What platform/interrupt.cpp keeps for the backends' interrupt handlers: the
// registered files and the held interrupt. Not part of the platform's API.
// Everything here is safe inside a signal handler.
#pragma once

namespace corvane::platform::interrupt_native {

// True when a live HoldInterrupts takes signal as its first interrupt; the
// handler then only returns.
bool hold(int signal);
// The held interrupt's signal number, 0 while none came.
int held();
// Calls visit with each registered path and its message line ("" or ending
// in a line break), in the order of registration.
void forEachRegistered(void (*visit)(const char* path, const char* message));

}  // namespace corvane::platform::interrupt_native
