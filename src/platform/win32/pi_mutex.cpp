#include "platform/pi_mutex.h"

#include <windows.h>

namespace corvane::platform {
namespace {

static_assert(sizeof(CRITICAL_SECTION) <= 64 && alignof(CRITICAL_SECTION) <= 16);

// Spinning a little before sleeping suits the short sections this guards.
constexpr DWORD kSpinCount = 4000;

CRITICAL_SECTION* native(unsigned char* storage) { return reinterpret_cast<CRITICAL_SECTION*>(storage); }

}  // namespace

// Cannot fail since Windows Vista; critical sections know no priority
// inheritance (see the header).
PriorityInheritanceMutex::PriorityInheritanceMutex() {
  (void)::InitializeCriticalSectionAndSpinCount(native(native_), kSpinCount);
}

PriorityInheritanceMutex::~PriorityInheritanceMutex() { ::DeleteCriticalSection(native(native_)); }

void PriorityInheritanceMutex::lock() { ::EnterCriticalSection(native(native_)); }

void PriorityInheritanceMutex::unlock() { ::LeaveCriticalSection(native(native_)); }

bool PriorityInheritanceMutex::try_lock() { return ::TryEnterCriticalSection(native(native_)) != FALSE; }

}  // namespace corvane::platform
