// Processor faults inside guarded bodies: each kind of fault is caught by the
// innermost recovery point of the faulting thread, and nothing else.
#include "platform/fault_recovery.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <thread>
#include <utility>

#include "support/temp_dir.h"

namespace corvane::platform {
namespace {

// Kept away from the sanitizers so each test is about the signal itself.
#define CORVANE_RAW_FAULT __attribute__((noipa, no_sanitize("address", "undefined", "thread")))

CORVANE_RAW_FAULT void writeToBadAddress() {
  volatile std::uintptr_t address = 16;  // hidden from the compiler
  *reinterpret_cast<volatile int*>(address) = 1;
}

volatile int gZero = 0;
volatile int gQuotient = 0;
CORVANE_RAW_FAULT void divideByZero() { gQuotient = 7 / gZero; }
volatile bool gKeepRecursing = true;

// Grows the stack until it hits the guard page.
CORVANE_RAW_FAULT int recurseForever(int depth) {
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  return gKeepRecursing ? recurseForever(depth + 1) + frame[0] : frame[0];
}

// Every kind of fault, on a thread of its own while the main thread sits in a
// recovery point of its own: only the faulting thread's point may catch it.
TEST(FaultRecovery, EachKindOfFaultIsRecoveredOnTheFaultingThread) {
  // A mapping past the end of its file raises a bus error.
  testing::TempDir dir;
  testing::writeFile(dir / "short", "x");
  const int fd = ::open((dir / "short").c_str(), O_RDONLY);
  const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  const auto* map =
      static_cast<const volatile char*>(::mmap(nullptr, 2 * page, PROT_READ, MAP_SHARED, fd, 0));
  ::close(fd);
  ASSERT_NE(map, MAP_FAILED);
  const std::pair<const char*, std::function<void()>> faults[] = {
      {"SIGSEGV", writeToBadAddress},
      {"SIGSEGV again", writeToBadAddress},
      {"SIGFPE", divideByZero},
      {"SIGILL", [] { __builtin_trap(); }},
      {"SIGBUS", [&] { (void)map[page]; }},
      {"stack overflow", [] { (void)recurseForever(0); }},
  };
  bool mainStayed = false;
  EXPECT_TRUE(runWithFaultRecovery([&] {
    std::thread([&] {
      for (const auto& [name, fault] : faults) EXPECT_FALSE(runWithFaultRecovery([&] { fault(); })) << name;
      EXPECT_FALSE(insideFaultRecovery());
    }).join();
    mainStayed = insideFaultRecovery();
  }));
  EXPECT_TRUE(mainStayed);
  ::munmap(const_cast<char*>(map), 2 * page);
}

// A fault belongs to the innermost point; once that has returned, normally or
// by an exception, which passes through, the outer one catches again.
TEST(FaultRecovery, NestedPointsAndExceptions) {
  bool inner = true;
  EXPECT_TRUE(runWithFaultRecovery([&] { inner = runWithFaultRecovery([] { writeToBadAddress(); }); }));
  EXPECT_FALSE(inner);

  EXPECT_THROW(runWithFaultRecovery([] { throw 7; }), int);
  ASSERT_FALSE(insideFaultRecovery());
  bool caught = false;
  bool reachedAfterFault = false;
  EXPECT_FALSE(runWithFaultRecovery([&] {
    inner = runWithFaultRecovery([] {});
    try {
      runWithFaultRecovery([] { throw 1; });
    } catch (int) {
      caught = insideFaultRecovery();
    }
    writeToBadAddress();
    reachedAfterFault = true;
  }));
  EXPECT_TRUE(inner && caught);
  EXPECT_FALSE(reachedAfterFault);
}

// Under ASan the earlier handler is the sanitizer's, which must still report.
#if defined(__SANITIZE_ADDRESS__)
constexpr const char* kPreviousHandlerOutput = "AddressSanitizer: SEGV";
#else
constexpr const char* kPreviousHandlerOutput = "";
#endif

TEST(FaultRecoveryDeathTest, FaultOutsideAnyPointGoesToTheEarlierHandler) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  ASSERT_TRUE(runWithFaultRecovery([] {}));  // the handlers are installed
  EXPECT_DEATH(writeToBadAddress(), kPreviousHandlerOutput);
}

}  // namespace
}  // namespace corvane::platform
