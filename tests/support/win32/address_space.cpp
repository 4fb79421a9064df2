#include "support/address_space.h"

#include <windows.h>

namespace corvane::testing {

// Windows has no limit to set, so the room is taken instead: bytes are set
// aside in one piece, every other free range is reserved, largest pieces
// first, and then the piece set aside is given back. The reservations stay
// for the process's life.
bool leaveOnlyAddressSpace(std::size_t bytes) {
  void* kept = VirtualAlloc(nullptr, bytes, MEM_RESERVE, PAGE_NOACCESS);
  if (kept == nullptr) return false;
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  for (std::size_t size = std::size_t{1} << 30; size >= system.dwAllocationGranularity; size /= 2) {
    while (VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS) != nullptr) {
    }
  }
  return VirtualFree(kept, 0, MEM_RELEASE) != 0;
}

}  // namespace corvane::testing
