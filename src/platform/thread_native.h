// The system's half of Thread: what platform/thread.cpp asks of each backend.
// Not part of the platform's API; only thread.cpp and the backends include it.
#pragma once

#include <cstdint>
#include <string>
#include <system_error>

namespace corvane::platform::native_thread {

// The new thread's whole life: names it, raises it as asked, runs the body
// and frees launch. Defined in platform/thread.cpp; the backend's thread
// entry calls it.
void run(void* launch) noexcept;

// Starts a thread that calls run(launch); its id in native. On failure the
// caller still owns launch.
std::error_code start(void* launch, std::uintptr_t& native);
bool isCurrent(std::uintptr_t native);
// Lets the thread go: the system reclaims it when it ends.
void letGo(std::uintptr_t native);
// Waits for the thread's end and reclaims it.
void join(std::uintptr_t native);
void nameCurrent(const std::string& name);

}  // namespace corvane::platform::native_thread
