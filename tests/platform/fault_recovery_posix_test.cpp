// A fault only POSIX raises: SIGBUS from reading a mapping past the end of its
// file, recovered like any other fault.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>

#include "platform/fault_recovery.h"
#include "support/temp_dir.h"

namespace corvane::platform {
namespace {

__attribute__((noipa, no_sanitize("address", "undefined", "thread"))) char readAt(
    const volatile char* address) {
  return *address;
}

TEST(FaultRecoveryPosix, ABusErrorFromAShortFileIsRecovered) {
  testing::TempDir dir;
  testing::writeFile(dir / "short", "x");
  const int fd = ::open((dir / "short").c_str(), O_RDONLY);
  const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  const auto* map =
      static_cast<const volatile char*>(::mmap(nullptr, 2 * page, PROT_READ, MAP_SHARED, fd, 0));
  ::close(fd);
  ASSERT_NE(map, MAP_FAILED);
  EXPECT_TRUE(runWithFaultRecovery([&] { (void)readAt(map); }));
  EXPECT_FALSE(runWithFaultRecovery([&] { (void)readAt(map + page); }));
  EXPECT_FALSE(insideFaultRecovery());
  ::munmap(const_cast<char*>(map), 2 * page);
}

}  // namespace
}  // namespace corvane::platform
