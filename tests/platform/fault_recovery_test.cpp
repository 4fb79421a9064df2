// Processor faults inside guarded bodies: each kind of fault is caught by the
// innermost recovery point of the faulting thread, and nothing else.
#include "platform/fault_recovery.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <thread>
#include <utility>

#include "support/system.h"

namespace corvane::platform {
namespace {

// Kept away from the sanitizers so each test is about the fault itself.
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

CORVANE_RAW_FAULT char readAt(const volatile char* address) { return *address; }

// Every kind of fault, on a thread of its own while the main thread sits in a
// recovery point of its own: only the faulting thread's point may catch it.
TEST(FaultRecovery, EachKindOfFaultIsRecoveredOnTheFaultingThread) {
  const std::size_t page = testing::systemPageSize();
  auto* mapped = static_cast<char*>(testing::mapWithGuardPage(page));
  const std::pair<const char*, std::function<void()>> faults[] = {
      {"write to a bad address", writeToBadAddress},
      {"write to a bad address again", writeToBadAddress},
      {"divide by zero", divideByZero},
      {"illegal instruction", [] { __builtin_trap(); }},
      {"read of an inaccessible page", [&] { (void)readAt(mapped + page); }},
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
  EXPECT_FALSE(insideFaultRecovery());
  testing::unmapWithGuardPage(mapped, page);
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
  EXPECT_FALSE(insideFaultRecovery());
}

// After a recovered fault the thread's points work as before: a fault in a
// later point is caught there, and a body without one runs to its end.
TEST(FaultRecovery, RecoveryLeavesTheThreadsPointsAsTheyWere) {
  for (int round = 0; round < 3; ++round) {
    EXPECT_FALSE(runWithFaultRecovery([] { divideByZero(); })) << round;
    EXPECT_FALSE(insideFaultRecovery());
    int ran = 0;
    EXPECT_TRUE(runWithFaultRecovery([&] { ran = 1; }));
    EXPECT_EQ(ran, 1);
  }
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
