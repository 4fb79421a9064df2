// Counts the allocations of the whole process: the benchmark executables
// replace the global operator new and delete with counting ones, and a
// plug-in loaded into the process binds to them too. A benchmark reads the
// count before and after its frames to show what a frame allocates.
#pragma once

#include <cstdint>

namespace corvane::bench {

// Every operator new (all forms) since the process started.
std::uint64_t allocationCount();

// Allocations per frame after the first: the count over the frames after the
// first one, divided by their number. first and last are counts read before
// the first frame's and after the last frame's work.
double allocationsPerFrameAfterFirst(std::uint64_t afterFirst, std::uint64_t afterLast, std::uint64_t frames);

}  // namespace corvane::bench
