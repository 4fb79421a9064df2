#include "platform/dynamic_library.h"
#include "platform/library_entry.h"

namespace corvane::platform {

std::uintptr_t moduleHandle() { return moduleBaseOf(reinterpret_cast<const void*>(&moduleHandle)); }

}  // namespace corvane::platform
