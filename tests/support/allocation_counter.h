// Operator new calls made by this test binary so far.
#pragma once

#include <cstddef>

namespace corvane::testing {
std::size_t allocationCount();
}  // namespace corvane::testing
