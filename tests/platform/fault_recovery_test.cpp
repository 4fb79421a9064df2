// Processor faults inside guarded bodies: each kind of fault is caught by the
// innermost recovery point of the faulting thread, and nothing else.
#include "platform/fault_recovery.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <thread>

#include "platform/test_support.h"

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

TEST(FaultRecovery, EachKindOfFaultIsRecoveredAndTheThreadCanRecoverAgain) {
  EXPECT_FALSE(runWithFaultRecovery([] { writeToBadAddress(); }));
  EXPECT_FALSE(runWithFaultRecovery([] { writeToBadAddress(); }));
  EXPECT_FALSE(runWithFaultRecovery([] { divideByZero(); }));
  EXPECT_FALSE(runWithFaultRecovery([] { __builtin_trap(); }));

  // A mapping past the end of its file raises a bus error.
  test::TempDir dir;
  test::writeFile(dir / "short", "x");
  const int fd = ::open((dir / "short").c_str(), O_RDONLY);
  const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  void* map = ::mmap(nullptr, 2 * page, PROT_READ, MAP_SHARED, fd, 0);
  ::close(fd);
  ASSERT_NE(map, MAP_FAILED);
  EXPECT_FALSE(runWithFaultRecovery([&] { (void)static_cast<const volatile char*>(map)[page]; }));
  ::munmap(map, 2 * page);

  EXPECT_FALSE(insideFaultRecovery());
  int ran = 0;
  EXPECT_TRUE(runWithFaultRecovery([&] { ran = insideFaultRecovery() ? 42 : 1; }));
  EXPECT_EQ(ran, 42);
}

TEST(FaultRecovery, NestedPointsCatchAtTheInnermostAndThenTheOuterOneAgain) {
  bool inner = true;
  bool afterInner = false;
  EXPECT_TRUE(runWithFaultRecovery([&] {
    inner = runWithFaultRecovery([] { writeToBadAddress(); });
    afterInner = true;
  }));
  EXPECT_FALSE(inner);
  EXPECT_TRUE(afterInner);

  bool reachedAfterFault = false;
  EXPECT_FALSE(runWithFaultRecovery([&] {
    inner = runWithFaultRecovery([] {});
    writeToBadAddress();
    reachedAfterFault = true;
  }));
  EXPECT_TRUE(inner);
  EXPECT_FALSE(reachedAfterFault);
}

TEST(FaultRecovery, ExceptionsPassThroughAndLeaveTheOuterPointActive) {
  EXPECT_THROW(runWithFaultRecovery([] { throw 7; }), int);
  ASSERT_FALSE(insideFaultRecovery());
  bool caught = false;
  bool stillInside = false;
  EXPECT_FALSE(runWithFaultRecovery([&] {
    try {
      runWithFaultRecovery([] { throw std::runtime_error("from the body"); });
    } catch (const std::runtime_error& e) {
      caught = std::string(e.what()) == "from the body";
    }
    stillInside = insideFaultRecovery();
    writeToBadAddress();  // belongs to the outer point now
  }));
  EXPECT_TRUE(caught);
  EXPECT_TRUE(stillInside);
}

TEST(FaultRecovery, ThreadsRecoverOnlyTheirOwnFaults) {
  std::atomic<bool> faultDone{false};
  bool threadResult = true;
  std::thread faulting([&] {
    threadResult = runWithFaultRecovery([] { writeToBadAddress(); });
    faultDone = true;
  });
  // The main thread sits in its own point while the other one faults.
  bool waited = false;
  EXPECT_TRUE(runWithFaultRecovery([&] {
    while (!faultDone) std::this_thread::yield();
    waited = true;
  }));
  faulting.join();
  EXPECT_FALSE(threadResult);
  EXPECT_TRUE(waited);

  bool overflow = true;
  std::thread deep([&] { overflow = runWithFaultRecovery([] { (void)recurseForever(0); }); });
  deep.join();
  EXPECT_FALSE(overflow);
}

// Under ASan the earlier handler is the sanitizer's, which must still report.
#if defined(__SANITIZE_ADDRESS__)
constexpr const char* kPreviousHandlerOutput = "AddressSanitizer: SEGV";
#else
constexpr const char* kPreviousHandlerOutput = "";
#endif

TEST(FaultRecoveryDeathTest, FaultOutsideAnyPointStillEndsTheProcess) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  ASSERT_TRUE(runWithFaultRecovery([] {}));  // the handlers are installed
  EXPECT_DEATH(writeToBadAddress(), kPreviousHandlerOutput);
  EXPECT_DEATH(
      {
        try {
          runWithFaultRecovery([] { throw 1; });
        } catch (int) {
        }
        writeToBadAddress();
      },
      kPreviousHandlerOutput);
}

}  // namespace
}  // namespace corvane::platform
