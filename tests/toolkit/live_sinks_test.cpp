// The set of live message sinks: a sink destroyed on one thread while a
// message to it is being delivered on another is freed only once that
// delivery returns; a handler may still destroy its own sink.
#include "toolkit/live_sinks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace corvane::tk {
namespace {

struct Flags {
  std::atomic<bool> entered{false};
  std::atomic<bool> destroying{false};
  std::atomic<bool> finished{false};
};

// Its handler runs on until whoever destroys it is on the way, and a little
// longer, then notes that it finished.
class SlowSink final : public MessageSink {
 public:
  explicit SlowSink(Flags& flags) : flags_(flags) {}
  ~SlowSink() override { endDeliveries(); }
  void onToolkitMessage(std::int32_t, ToolkitUI*) override {
    flags_.entered = true;
    for (int i = 0; i < 5000 && !flags_.destroying; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    flags_.finished = true;
  }

 private:
  Flags& flags_;
};

class SelfDestroyingSink final : public MessageSink {
 public:
  void onToolkitMessage(std::int32_t, ToolkitUI*) override { delete this; }
};

TEST(LiveSinks, ASinkDestroyedDuringADeliveryElsewhereGoesOnlyAfterIt) {
  Flags flags;
  auto* sink = new SlowSink(flags);
  const std::uint64_t serial = detail::sinkSerial(sink);
  std::thread deliverer([&] { detail::deliverIfAlive(sink, serial, kMessageChanged, nullptr); });
  for (int i = 0; i < 5000 && !flags.entered; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  ASSERT_TRUE(flags.entered) << "the delivery never started";
  flags.destroying = true;
  delete sink;
  EXPECT_TRUE(flags.finished) << "the sink was destroyed while its handler still ran";
  deliverer.join();
}

TEST(LiveSinks, AHandlerMayDestroyItsOwnSink) {
  auto* sink = new SelfDestroyingSink;
  detail::deliverIfAlive(sink, detail::sinkSerial(sink), kMessageChanged, nullptr);
  EXPECT_EQ(detail::sinkSerial(sink), 0u);
}

}  // namespace
}  // namespace corvane::tk
