// The module handle DllMain was given, kept for moduleHandle().
#pragma once

#include <windows.h>

namespace corvane::platform {

void keepModuleHandle(HMODULE module);

}  // namespace corvane::platform
