// A clock that never waits: sleeps advance its time and are recorded.
#pragma once

#include <vector>

#include "platform/clock.h"

namespace corvane::testing {

class FakeClock : public platform::Clock {
 public:
  std::uint64_t now = 1'000'000;
  std::uint32_t ticks = 123456;
  std::vector<std::uint32_t> sleeps;

  std::uint64_t microseconds() override { return now; }
  std::uint32_t tickCount() override { return ticks; }
  void sleepMilliseconds(std::uint32_t ms) override {
    sleeps.push_back(ms);
    now += std::uint64_t{ms} * 1000;
  }
};

}  // namespace corvane::testing
