// Dependants of toolkit objects: who gets a sent or posted message and when,
// and the 0x400 / store / 0x401 protocol of observable variables.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "engine/toolkit.h"

namespace corvane::tk {
namespace {

using Pairs = std::vector<std::pair<int, std::int32_t>>;

// Sinks record, into a log they share, which sink handled which message from
// whom and the watched value at that moment, then run the log's action.
struct Log {
  struct Entry {
    int tag;
    std::int32_t message;
    ToolkitUI* sender;
    double observed;
  };
  std::function<double()> watch = [] { return 0.0; };
  std::function<void(int tag, std::int32_t message)> action = [](int, std::int32_t) {};
  std::vector<Entry> entries;
  Pairs pairs() const {
    Pairs out;
    for (const Entry& e : entries) out.emplace_back(e.tag, e.message);
    return out;
  }
};

class Sink : public MessageSink {
 public:
  explicit Sink(Log& log, int tag = 0) : log_(log), tag_(tag) {}
  void onToolkitMessage(std::int32_t message, ToolkitUI* sender) override {
    log_.entries.push_back({tag_, message, sender, log_.watch()});
    log_.action(tag_, message);
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

// Each dependant once, in the order added. The send works on a copy of the
// dependants: a handler that removes itself and adds another neither breaks
// the running send nor changes who gets it.
TEST_F(Messages, SendsReachEachDependantOnceInOrderEvenWhenAHandlerChangesThem) {
  Sink a(log, 1), b(log, 2), c(log, 3), late(log, 4);
  log.action = [&](int tag, std::int32_t) {
    if (tag != 1) return;
    source.DeleteDependant(&a);
    source.AddDependant(&late);
  };
  for (Sink* sink : {&b, &a, &b, &c}) source.AddDependant(sink);
  source.SendMessageA(0x400, nullptr);
  source.SendMessageA(0x401, nullptr);
  EXPECT_EQ(log.pairs(), (Pairs{{2, 0x400}, {1, 0x400}, {3, 0x400}, {2, 0x401}, {3, 0x401}, {4, 0x401}}));
}

// Posts arrive once, in order, at the next dispatch; those made during a
// dispatch wait for the one after. A sink destroyed before the dispatch gets
// nothing, nor does a new one built where it stood.
TEST_F(Messages, PostsArriveInOrderAtTheNextDispatchAndNeverAtADestroyedSink) {
  TKmsg second;
  std::optional<Sink> doomed(std::in_place, log, 9);
  Sink a(log, 1), b(log, 2);
  log.action = [&](int tag, std::int32_t message) {
    if (tag == 1 && message == 0x400) second.PostMessageA(0x402, nullptr);
  };
  for (Sink* sink : {&a, &b, &*doomed}) source.AddDependant(sink);
  second.AddDependant(&b);
  source.PostMessageA(0x400, nullptr);
  second.PostMessageA(0x401, nullptr);
  doomed.reset();
  doomed.emplace(log, 8);
  EXPECT_TRUE(log.pairs().empty());
  toolkitServices().dispatchPostedMessages();
  EXPECT_EQ(log.pairs(), (Pairs{{1, 0x400}, {2, 0x400}, {2, 0x401}}));
  toolkitServices().dispatchPostedMessages();
  EXPECT_EQ(log.pairs().back(), (std::pair<int, std::int32_t>{2, 0x402}));
  EXPECT_EQ(log.pairs().size(), 4u);
}

class Sender : public ToolkitUI {};

// Sent or posted, a change announces 0x400 while the old value is stored and
// 0x401 once the new one is, both with the sender; Set gives the old value.
// The sink reads the value from another thread: were the variable's lock held
// during an announcement, that read would block for ever.
template <class Variable>
void expectProtocol(double before, double after, bool post) {
  Variable variable(before);
  Sender sender;
  Log log;
  Sink sink(log);
  log.watch = [&] {
    double seen = 0;
    std::thread([&] { seen = variable.Get(); }).join();
    return seen;
  };
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
  toolkitServices().dispatchPostedMessages();
  for (bool post : {false, true}) {
    expectProtocol<mINT32>(1, 5, post);
    expectProtocol<mFLT64>(32.0, -0.25, post);
  }
}

}  // namespace
}  // namespace corvane::tk
