// Marks a function as one of the plug-in's exports: C linkage, the C calling
// convention, visible outside the library. Every other symbol stays hidden.
#pragma once

#include <cstdint>

#define CORVANE_EXPORT extern "C" __attribute__((visibility("default"), cdecl))

static_assert(sizeof(void*) == 4,
              "export shims exist only in the 32-bit plug-in: host records hold 4-byte addresses");
