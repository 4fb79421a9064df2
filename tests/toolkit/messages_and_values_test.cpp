// Dependants of toolkit objects: who gets a sent or posted message and when,
// and the 0x400 / store / 0x401 protocol of observable variables.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "engine/toolkit.h"

namespace corvane::tk {
namespace {

// Sinks record, into a log they share, which sink handled which message from
// whom and the watched value at that moment.
struct Received {
  int tag;
  std::int32_t message;
  ToolkitUI* sender;
  double observed;
};

using Pairs = std::vector<std::pair<int, std::int32_t>>;

struct Log {
  std::function<double()> watch;
  std::function<void(int tag, std::int32_t message)> action;  // run after recording
  std::mutex lock;
  std::vector<Received> entries;
  Pairs pairs() {
    std::lock_guard guard(lock);
    Pairs out;
    for (const Received& r : entries) out.emplace_back(r.tag, r.message);
    return out;
  }
};

class RecordingSink : public MessageSink {
 public:
  RecordingSink(Log& log, int tag = 0) : log_(log), tag_(tag) {}
  void onToolkitMessage(std::int32_t message, ToolkitUI* sender) override {
    const double observed = log_.watch ? log_.watch() : 0.0;
    {
      std::lock_guard guard(log_.lock);
      log_.entries.push_back(Received{tag_, message, sender, observed});
    }
    if (log_.action) log_.action(tag_, message);
  }

 private:
  Log& log_;
  int tag_;
};

class Messages : public ::testing::Test {
 protected:
  void SetUp() override { toolkitServices().dispatchPostedMessages(); }  // leftovers of other tests
  TKmsg source;
  Log log;
};

TEST_F(Messages, DependantsGetEachMessageOnceInTheOrderAddedUntilDeleted) {
  RecordingSink a(log, 1), b(log, 2), c(log, 3);
  for (RecordingSink* sink : {&b, &a, &b, &c}) source.AddDependant(sink);
  source.SendMessageA(0x401, nullptr);
  source.DeleteDependant(&a);
  source.SendMessageA(0x400, nullptr);
  EXPECT_EQ(log.pairs(), (Pairs{{2, 0x401}, {1, 0x401}, {3, 0x401}, {2, 0x400}, {3, 0x400}}));
}

// The send works on a copy of the dependants: a handler that removes itself
// (or adds another) neither breaks the running send nor changes who gets it.
TEST_F(Messages, HandlerMayRemoveItselfOrAddOthersDuringASend) {
  RecordingSink leaver(log, 1), stayer(log, 2), late(log, 3);
  log.action = [&](int tag, std::int32_t) {
    if (tag != 1) return;
    source.DeleteDependant(&leaver);
    source.AddDependant(&late);
  };
  source.AddDependant(&leaver);
  source.AddDependant(&stayer);
  source.SendMessageA(0x400, nullptr);
  source.SendMessageA(0x401, nullptr);
  EXPECT_EQ(log.pairs(), (Pairs{{1, 0x400}, {2, 0x400}, {2, 0x401}, {3, 0x401}}));
}

TEST_F(Messages, PostsArriveOnceInOrderAndThoseMadeDuringDispatchWaitForTheNext) {
  TKmsg second;
  RecordingSink a(log, 1), b(log, 2);
  log.action = [&](int tag, std::int32_t message) {
    if (tag == 1 && message == 0x400) second.PostMessageA(0x402, nullptr);
  };
  source.AddDependant(&a);
  source.AddDependant(&b);
  second.AddDependant(&b);
  source.PostMessageA(0x400, nullptr);
  second.PostMessageA(0x401, nullptr);
  source.PostMessageA(0x401, nullptr);
  EXPECT_TRUE(log.pairs().empty());
  toolkitServices().dispatchPostedMessages();
  EXPECT_EQ(log.pairs(), (Pairs{{1, 0x400}, {2, 0x400}, {2, 0x401}, {1, 0x401}, {2, 0x401}}));
  toolkitServices().dispatchPostedMessages();
  toolkitServices().dispatchPostedMessages();
  EXPECT_EQ(log.pairs().size(), 6u);
  EXPECT_EQ(log.pairs().back(), (std::pair<int, std::int32_t>{2, 0x402}));
}

// Nor may a new sink built where a dead one stood receive the dead one's mail.
TEST_F(Messages, PostsToADestroyedSinkAreDropped) {
  std::optional<RecordingSink> slot;
  slot.emplace(log, 1);
  RecordingSink survivor(log, 2);
  source.AddDependant(&*slot);
  source.AddDependant(&survivor);
  source.PostMessageA(0x401, nullptr);
  slot.reset();
  slot.emplace(log, 3);
  toolkitServices().dispatchPostedMessages();
  EXPECT_EQ(log.pairs(), (Pairs{{2, 0x401}}));
}

class Sender : public ToolkitUI {};

// Sent or posted, a change announces 0x400 while the old value is stored and
// 0x401 once the new one is, both with the sender; Set gives the old value.
template <class Variable>
void expectProtocol(double before, double after, bool post) {
  toolkitServices().dispatchPostedMessages();
  Variable variable(before);
  Sender sender;
  Log log;
  RecordingSink sink(log);
  log.watch = [&] { return variable.Get(); };
  variable.AddDependant(&sink);
  EXPECT_EQ(variable.Set(before, &sender, post), before);  // equal: nothing
  EXPECT_EQ(variable.Set(after, &sender, post), before);
  EXPECT_EQ(variable.Get(), after);
  EXPECT_EQ(log.entries.size(), post ? 0u : 2u);
  toolkitServices().dispatchPostedMessages();
  ASSERT_EQ(log.entries.size(), 2u);
  const double firstSeen = post ? after : before;  // a post runs after the store
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(log.entries[i].message, i == 0 ? kMessageChanging : kMessageChanged);
    EXPECT_EQ(log.entries[i].sender, &sender);
    EXPECT_EQ(log.entries[i].observed, i == 0 ? firstSeen : after);
  }
}

TEST(ObservableValue, ChangeProtocol) {
  for (bool post : {false, true}) {
    expectProtocol<mINT32>(1, 5, post);
    expectProtocol<mFLT64>(32.0, -0.25, post);
  }
  toolkitServices().dispatchPostedMessages();
}

// If the variable's lock were held while dependants are told, a reader on
// another thread would block for ever and the join would never return.
TEST(ObservableValue, AnnouncesWithTheLockReleased) {
  mINT32 integer(0);
  mFLT64 real(0.0);
  Log log;
  RecordingSink sink(log);
  std::vector<double> seenFromOtherThread;
  log.action = [&](int, std::int32_t) {
    std::thread reader([&] { seenFromOtherThread.push_back(integer.Get() + real.Get()); });
    reader.join();
  };
  integer.AddDependant(&sink);
  real.AddDependant(&sink);
  integer.Set(3, nullptr, false);
  real.Set(0.5, nullptr, false);
  EXPECT_EQ(seenFromOtherThread, (std::vector<double>{0.0, 3.0, 3.0, 3.5}));
}

// With all values distinct, the values Set gave back plus the final value are
// the initial value and every stored value once each; a Set that read and
// stored under separate locks would hand one previous value to two threads.
TEST(ObservableValue, ConcurrentChangesLoseNoValue) {
  constexpr int kThreads = 4;
  constexpr int kChanges = 2000;
  mINT32 integer(-1);
  Log log;
  RecordingSink sink(log);
  log.action = [](int, std::int32_t) { std::this_thread::yield(); };  // lets the others interleave
  integer.AddDependant(&sink);
  std::vector<std::vector<std::int32_t>> previous(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kChanges; ++i) previous[t].push_back(integer.Set(t * kChanges + i, nullptr, false));
    });
  }
  for (auto& thread : threads) thread.join();
  std::vector<std::int32_t> replaced{integer.Get()};
  for (auto& list : previous) replaced.insert(replaced.end(), list.begin(), list.end());
  std::sort(replaced.begin(), replaced.end());
  for (int v = -1; v < kThreads * kChanges; ++v) ASSERT_EQ(replaced[v + 1], v);
  EXPECT_EQ(log.entries.size(), 2u * kThreads * kChanges);
}

}  // namespace
}  // namespace corvane::tk
