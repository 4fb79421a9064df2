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
#include <vector>

#include "platform/test_support.h"

namespace corvane::platform {
namespace {

// The faulting helpers are kept away from the sanitizers so that each test is
// about the signal itself.
#define CORVANE_RAW_FAULT __attribute__((noipa, no_sanitize("address", "undefined", "thread")))

CORVANE_RAW_FAULT void writeToBadAddress() {
  // Through a volatile so the compiler cannot see which address it is.
  volatile std::uintptr_t address = 16;
  *reinterpret_cast<volatile int*>(address) = 1;
}

volatile int gQuotient = 0;

CORVANE_RAW_FAULT void divideByZero() {
  volatile int zero = 0;
  volatile int n = 7;
  gQuotient = n / zero;
}

CORVANE_RAW_FAULT void executeIllegalInstruction() { __builtin_trap(); }

volatile bool gKeepRecursing = true;

// Grows the stack until it hits the guard page.
CORVANE_RAW_FAULT int recurseForever(int depth) {
  volatile char frame[512];
  frame[0] = static_cast<char>(depth);
  if (!gKeepRecursing) return frame[0];
  return recurseForever(depth + 1) + frame[0];
}

TEST(FaultRecovery, EachKindOfFaultIsRecoveredAndTheThreadCanRecoverAgain) {
  EXPECT_FALSE(runWithFaultRecovery([] { writeToBadAddress(); }));
  EXPECT_FALSE(runWithFaultRecovery([] { writeToBadAddress(); }));
  EXPECT_FALSE(runWithFaultRecovery([] { divideByZero(); }));
  EXPECT_FALSE(runWithFaultRecovery([] { executeIllegalInstruction(); }));

  EXPECT_FALSE(insideFaultRecovery());
  int ran = 0;
  EXPECT_TRUE(runWithFaultRecovery([&] { ran = insideFaultRecovery() ? 42 : 1; }));
  EXPECT_EQ(ran, 42);
}

TEST(FaultRecovery, BusErrorFromAMappingPastTheEndOfItsFileIsRecovered) {
  test::TempDir dir;
  const std::string path = dir / "short";
  test::writeFile(path, "x");
  const int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  void* map = ::mmap(nullptr, 2 * page, PROT_READ, MAP_SHARED, fd, 0);
  ::close(fd);
  ASSERT_NE(map, MAP_FAILED);
  const auto* bytes = static_cast<const volatile char*>(map);
  EXPECT_TRUE(runWithFaultRecovery([&] { EXPECT_EQ(bytes[0], 'x'); }));
  EXPECT_FALSE(runWithFaultRecovery([&] { (void)bytes[page]; }));
  ::munmap(map, 2 * page);
}

TEST(FaultRecovery, NestedPointsCatchAtTheInnermostAndThenTheOuterOneAgain) {
  bool innerResult = true;
  bool afterInner = false;
  const bool outer = runWithFaultRecovery([&] {
    innerResult = runWithFaultRecovery([] { writeToBadAddress(); });
    afterInner = true;
  });
  EXPECT_TRUE(outer);
  EXPECT_FALSE(innerResult);
  EXPECT_TRUE(afterInner);

  bool innerClean = false;
  bool reachedAfterFault = false;
  const bool outerFaulted = runWithFaultRecovery([&] {
    innerClean = runWithFaultRecovery([] {});
    writeToBadAddress();
    reachedAfterFault = true;
  });
  EXPECT_TRUE(innerClean);
  EXPECT_FALSE(outerFaulted);
  EXPECT_FALSE(reachedAfterFault);
}

TEST(FaultRecovery, ExceptionsPassThroughAndLeaveTheOuterPointActive) {
  EXPECT_THROW(runWithFaultRecovery([] { throw 7; }), int);
  ASSERT_FALSE(insideFaultRecovery());

  bool outerResult = true;
  bool caught = false;
  bool stillInside = false;
  outerResult = runWithFaultRecovery([&] {
    try {
      runWithFaultRecovery([] { throw std::runtime_error("from the body"); });
    } catch (const std::runtime_error& e) {
      caught = std::string(e.what()) == "from the body";
    }
    stillInside = insideFaultRecovery();
    // The inner point is gone: this fault belongs to the outer one.
    writeToBadAddress();
  });
  EXPECT_TRUE(caught);
  EXPECT_TRUE(stillInside);
  EXPECT_FALSE(outerResult);
}

TEST(FaultRecovery, ThreadsRecoverOnlyTheirOwnFaults) {
  std::atomic<bool> faultDone{false};
  std::atomic<int> mainSawFaultDone{0};
  bool threadResult = true;
  bool mainResult = false;
  std::thread faulting([&] {
    threadResult = runWithFaultRecovery([] { writeToBadAddress(); });
    faultDone.store(true, std::memory_order_release);
  });
  // The main thread sits in its own recovery point while the other faults.
  mainResult = runWithFaultRecovery([&] {
    while (!faultDone.load(std::memory_order_acquire)) std::this_thread::yield();
    mainSawFaultDone = 1;
  });
  faulting.join();
  EXPECT_FALSE(threadResult);
  EXPECT_TRUE(mainResult);
  EXPECT_EQ(mainSawFaultDone, 1);
}

TEST(FaultRecovery, ManyThreadsFaultingRepeatedlyAllRecover) {
  constexpr int kThreads = 4;
  constexpr int kRounds = 200;
  std::vector<int> recovered(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&recovered, t] {
      for (int i = 0; i < kRounds; ++i) {
        if (!runWithFaultRecovery([] { writeToBadAddress(); })) ++recovered[t];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(recovered[t], kRounds) << "thread " << t;
}

TEST(FaultRecovery, StackOverflowInsideABodyIsRecovered) {
  bool result = true;
  std::thread deep([&] { result = runWithFaultRecovery([] { (void)recurseForever(0); }); });
  deep.join();
  EXPECT_FALSE(result);
}

using FaultRecoveryDeathTest = ::testing::Test;

// Under ASan the earlier handler is the sanitizer's, which must still get the
// fault and report it.
#if defined(__SANITIZE_ADDRESS__)
constexpr const char* kPreviousHandlerOutput = "AddressSanitizer: SEGV";
#else
constexpr const char* kPreviousHandlerOutput = "";
#endif

TEST_F(FaultRecoveryDeathTest, FaultOutsideAnyPointStillEndsTheProcess) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  // Install the handlers first, so the fault really goes through them.
  ASSERT_TRUE(runWithFaultRecovery([] {}));
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
