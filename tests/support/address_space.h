// Leaves this process room for only a few more bytes of memory, so that the
// next large allocation fails as it does on a machine that has run out.
#pragma once

#include <cstddef>

namespace corvane::testing {

// From now on, at most about bytes more can be allocated, in one piece or
// several. False when the system refused.
bool leaveOnlyAddressSpace(std::size_t bytes);

}  // namespace corvane::testing
