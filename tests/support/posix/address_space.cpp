#include "support/address_space.h"

#include <sys/resource.h>
#include <unistd.h>

#include <fstream>

namespace corvane::testing {

// A limit on the address space a little above what is mapped now.
bool leaveOnlyAddressSpace(std::size_t bytes) {
  std::ifstream statm("/proc/self/statm");
  rlim_t pages = 0;
  if (!(statm >> pages)) return false;
  const rlim_t mapped = pages * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE));
  const rlimit limit{mapped + bytes, RLIM_INFINITY};
  return ::setrlimit(RLIMIT_AS, &limit) == 0;
}

}  // namespace corvane::testing
