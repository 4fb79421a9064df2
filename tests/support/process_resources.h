// What this process holds of the system right now, to compare before and
// after many cycles of some work: its handles (descriptors on POSIX), threads
// and heap. One backend per system (posix/, win32/).
#pragma once

#include <cstddef>
#include <string>

namespace corvane::testing {

struct ProcessResources {
  std::size_t handles = 0;  // open descriptors, or kernel handles on Windows
  std::size_t threads = 0;
  std::size_t heap = 0;  // bytes allocated and not freed
};

ProcessResources processResources();

// True while a library whose file is named fileName (no folder) is loaded.
bool libraryLoaded(const std::string& fileName);

// True while the process pid exists (it has not ended, or not been reaped).
bool processExists(int pid);

}  // namespace corvane::testing
