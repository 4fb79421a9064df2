#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "engine/toolkit.h"
#include "toolkit/recording_sink.h"

namespace corvane::tk {
namespace {

using testing::RecordingSink;

class Sender : public ToolkitUI {};

TEST(ObservableValue, EqualValueAnnouncesNothingAndGivesCurrent) {
  mINT32 integer(7);
  mFLT64 real(0.5);
  RecordingSink sink;
  integer.AddDependant(&sink);
  real.AddDependant(&sink);

  EXPECT_EQ(integer.Set(7, nullptr, false), 7);
  EXPECT_EQ(real.Set(0.5, nullptr, false), 0.5);
  EXPECT_EQ(integer.Set(7, nullptr, true), 7);
  dispatchPostedMessages();

  EXPECT_TRUE(sink.received().empty());
}

TEST(ObservableValue, SendAnnouncesBeforeAndAfterTheStoreWithTheSender) {
  mINT32 integer(1);
  Sender sender;
  RecordingSink sink;
  sink.watch = [&] { return integer.Get(); };
  integer.AddDependant(&sink);

  EXPECT_EQ(integer.Set(5, &sender, false), 1);
  EXPECT_EQ(integer.Get(), 5);

  auto got = sink.received();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].message, kMessageChanging);
  EXPECT_EQ(got[0].sender, &sender);
  EXPECT_EQ(got[0].observed, 1);  // still the old value
  EXPECT_EQ(got[1].message, kMessageChanged);
  EXPECT_EQ(got[1].sender, &sender);
  EXPECT_EQ(got[1].observed, 5);
}

TEST(ObservableValue, DoubleFollowsTheSameProtocol) {
  mFLT64 real(32.0);
  RecordingSink sink;
  sink.watch = [&] { return real.Get(); };
  real.AddDependant(&sink);

  EXPECT_EQ(real.Set(-0.25, nullptr, false), 32.0);
  EXPECT_EQ(real.Set(-0.25, nullptr, false), -0.25);

  auto got = sink.received();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].observed, 32.0);
  EXPECT_EQ(got[1].observed, -0.25);
  EXPECT_EQ(got[1].sender, nullptr);
}

// If the variable's lock were held while dependants are told, a reader on
// another thread would block for ever and the join would never return.
TEST(ObservableValue, AnnouncesWithTheLockReleased) {
  mINT32 integer(0);
  mFLT64 real(0.0);
  RecordingSink sink;
  std::vector<double> seenFromOtherThread;
  sink.action = [&](std::int32_t) {
    double a = 0, b = 0;
    std::thread reader([&] {
      a = integer.Get();
      b = real.Get();
    });
    reader.join();
    seenFromOtherThread.push_back(a + b);
  };
  integer.AddDependant(&sink);
  real.AddDependant(&sink);

  integer.Set(3, nullptr, false);
  real.Set(0.5, nullptr, false);

  EXPECT_EQ(seenFromOtherThread, (std::vector<double>{0.0, 3.0, 3.0, 3.5}));
}

TEST(ObservableValue, PostedAnnouncementsWaitForDispatch) {
  dispatchPostedMessages();  // leftovers of other tests
  mINT32 integer(10);
  Sender sender;
  RecordingSink sink;
  sink.watch = [&] { return integer.Get(); };
  integer.AddDependant(&sink);

  EXPECT_EQ(integer.Set(11, &sender, true), 10);
  EXPECT_EQ(integer.Get(), 11);  // stored at once, announced later
  EXPECT_TRUE(sink.received().empty());

  dispatchPostedMessages();
  auto got = sink.received();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].message, kMessageChanging);
  EXPECT_EQ(got[1].message, kMessageChanged);
  EXPECT_EQ(got[0].sender, &sender);
  EXPECT_EQ(got[1].sender, &sender);
}

TEST(ObservableValue, HandlerMayChangeAnotherVariableThatTellsTheSameSink) {
  mINT32 first(0);
  mINT32 second(0);
  RecordingSink sink;
  sink.action = [&](std::int32_t message) {
    if (message == kMessageChanged && first.Get() == 1) second.Set(2, nullptr, false);
  };
  first.AddDependant(&sink);
  second.AddDependant(&sink);

  first.Set(1, nullptr, false);

  EXPECT_EQ(second.Get(), 2);
  EXPECT_EQ(sink.messages(), (std::vector<std::int32_t>{kMessageChanging, kMessageChanged, kMessageChanging,
                                                        kMessageChanged}));
}

// Every store replaces exactly one value. With all values distinct, the values
// that Set gave back plus the final value are the initial value and every
// stored value, each exactly once; a Set that read and stored under separate
// locks would hand the same previous value to two threads.
TEST(ObservableValue, ConcurrentChangesLoseNoValue) {
  constexpr int kThreads = 4;
  constexpr int kChanges = 2000;
  mINT32 integer(-1);
  std::atomic<int> changing{0}, changed{0};
  class CountingSink : public MessageSink {
   public:
    CountingSink(std::atomic<int>& a, std::atomic<int>& b) : changing_(a), changed_(b) {}
    void onToolkitMessage(std::int32_t message, ToolkitUI*) override {
      (message == kMessageChanging ? changing_ : changed_).fetch_add(1, std::memory_order_relaxed);
      std::this_thread::yield();  // lets the other threads interleave between the steps
    }

   private:
    std::atomic<int>& changing_;
    std::atomic<int>& changed_;
  } sink(changing, changed);
  integer.AddDependant(&sink);

  std::vector<std::vector<std::int32_t>> previous(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kChanges; ++i) {
        previous[t].push_back(integer.Set(t * kChanges + i, nullptr, false));
        (void)integer.Get();
      }
    });
  }
  for (auto& thread : threads) thread.join();

  std::vector<std::int32_t> replaced{integer.Get()};
  for (auto& list : previous) replaced.insert(replaced.end(), list.begin(), list.end());
  std::sort(replaced.begin(), replaced.end());
  std::vector<std::int32_t> expected{-1};
  for (int v = 0; v < kThreads * kChanges; ++v) expected.push_back(v);
  EXPECT_EQ(replaced, expected);
  EXPECT_EQ(changing.load(), kThreads * kChanges);
  EXPECT_EQ(changed.load(), kThreads * kChanges);
}

}  // namespace
}  // namespace corvane::tk
