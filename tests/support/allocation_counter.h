// Operator new calls made by this process so far: a test or benchmark binary
// that links allocation_counter.cpp replaces the global operator new and
// delete with counting ones, and a plug-in it loads binds to them too.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvane::testing {

std::size_t allocationCount();

// Allocations per frame after the first, from the counts read after the
// first frame's work and after the last frame's.
inline double allocationsPerFrameAfterFirst(std::uint64_t afterFirst, std::uint64_t afterLast,
                                            std::uint64_t frames) {
  if (frames < 2) return 0;
  return static_cast<double>(afterLast - afterFirst) / static_cast<double>(frames - 1);
}

}  // namespace corvane::testing
