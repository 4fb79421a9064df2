#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "engine/toolkit.h"
#include "toolkit/recording_sink.h"

namespace corvane::tk {
namespace {

using testing::RecordingSink;

// Records, into a list that outlives it, which sink handled which message.
class TaggedSink : public MessageSink {
 public:
  TaggedSink(int tag, std::vector<std::pair<int, std::int32_t>>& log) : tag_(tag), log_(log) {}
  void onToolkitMessage(std::int32_t message, ToolkitUI*) override { log_.emplace_back(tag_, message); }

 private:
  int tag_;
  std::vector<std::pair<int, std::int32_t>>& log_;
};

using Log = std::vector<std::pair<int, std::int32_t>>;

class Messages : public ::testing::Test {
 protected:
  void SetUp() override { dispatchPostedMessages(); }
};

TEST_F(Messages, SendReachesDependantsOnceEachInTheOrderAdded) {
  TKmsg source;
  Log log;
  TaggedSink a(1, log), b(2, log), c(3, log);
  source.AddDependant(&b);
  source.AddDependant(&a);
  source.AddDependant(&b);  // already there
  source.AddDependant(&c);

  source.SendMessageA(0x401, nullptr);

  EXPECT_EQ(log, (Log{{2, 0x401}, {1, 0x401}, {3, 0x401}}));
}

TEST_F(Messages, DeleteDependantStopsDelivery) {
  TKmsg source;
  Log log;
  TaggedSink a(1, log), b(2, log);
  source.AddDependant(&a);
  source.AddDependant(&b);
  source.DeleteDependant(&a);
  source.DeleteDependant(&a);  // no longer there: harmless

  source.SendMessageA(0x400, nullptr);
  source.PostMessageA(0x401, nullptr);
  dispatchPostedMessages();

  EXPECT_EQ(log, (Log{{2, 0x400}, {2, 0x401}}));
}

// The send works on a copy of the dependants: a handler that removes itself
// (or adds another) neither breaks the running send nor changes who gets it.
TEST_F(Messages, HandlerMayRemoveItselfOrAddOthersDuringASend) {
  TKmsg source;
  Log log;
  TaggedSink late(3, log);
  RecordingSink leaver;
  leaver.action = [&](std::int32_t) {
    source.DeleteDependant(&leaver);
    source.AddDependant(&late);
  };
  TaggedSink stayer(2, log);
  source.AddDependant(&leaver);
  source.AddDependant(&stayer);

  source.SendMessageA(0x400, nullptr);
  EXPECT_EQ(leaver.messages().size(), 1u);
  EXPECT_EQ(log, (Log{{2, 0x400}}));

  source.SendMessageA(0x401, nullptr);
  EXPECT_EQ(leaver.messages().size(), 1u);
  EXPECT_EQ(log, (Log{{2, 0x400}, {2, 0x401}, {3, 0x401}}));
}

TEST_F(Messages, PostedMessagesArriveOnlyAtDispatchInPostingOrder) {
  TKmsg first, second;
  Log log;
  TaggedSink a(1, log), b(2, log);
  first.AddDependant(&a);
  first.AddDependant(&b);
  second.AddDependant(&a);

  first.PostMessageA(0x400, nullptr);
  second.PostMessageA(0x401, nullptr);
  first.PostMessageA(0x401, nullptr);
  EXPECT_TRUE(log.empty());

  dispatchPostedMessages();
  EXPECT_EQ(log, (Log{{1, 0x400}, {2, 0x400}, {1, 0x401}, {1, 0x401}, {2, 0x401}}));

  dispatchPostedMessages();  // each message is delivered once
  EXPECT_EQ(log.size(), 5u);
}

TEST_F(Messages, PostedMessageToADestroyedSinkIsDropped) {
  TKmsg source;
  Log log;
  auto doomed = std::make_unique<TaggedSink>(1, log);
  TaggedSink survivor(2, log);
  source.AddDependant(doomed.get());
  source.AddDependant(&survivor);

  source.PostMessageA(0x401, nullptr);
  doomed.reset();
  dispatchPostedMessages();

  EXPECT_EQ(log, (Log{{2, 0x401}}));
}

// A new sink built where a dead one stood must not receive the dead one's mail.
TEST_F(Messages, PostedMessageIsNotDeliveredToASinkReusingTheAddress) {
  TKmsg source;
  Log log;
  std::optional<TaggedSink> slot;
  slot.emplace(1, log);
  source.AddDependant(&*slot);

  source.PostMessageA(0x401, nullptr);
  slot.reset();
  slot.emplace(2, log);
  dispatchPostedMessages();

  EXPECT_TRUE(log.empty());
}

TEST_F(Messages, MessagesPostedWhileDispatchingWaitForTheNextDispatch) {
  TKmsg source;
  RecordingSink echo;
  echo.action = [&](std::int32_t message) {
    if (message == 0x400) source.PostMessageA(0x401, nullptr);
  };
  source.AddDependant(&echo);

  source.PostMessageA(0x400, nullptr);
  dispatchPostedMessages();
  EXPECT_EQ(echo.messages(), (std::vector<std::int32_t>{0x400}));

  dispatchPostedMessages();
  EXPECT_EQ(echo.messages(), (std::vector<std::int32_t>{0x400, 0x401}));
}

}  // namespace
}  // namespace corvane::tk
