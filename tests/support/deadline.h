// A body that may hang, run on a thread of its own under a deadline. A hang
// cannot be undone from outside (the thread holds the test's objects), so it
// ends the whole test program with the reason, rather than stalling the run.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>

namespace corvane::testing {

template <typename Body>
auto finishWithin(std::chrono::seconds deadline, const std::string& hang, Body body) {
  std::packaged_task<decltype(body())()> task(std::move(body));
  auto result = task.get_future();
  std::thread runner(std::move(task));
  if (result.wait_for(deadline) != std::future_status::ready) {
    std::fprintf(stderr, "still running after %lld s: %s\n", static_cast<long long>(deadline.count()),
                 hang.c_str());
    std::fflush(nullptr);
    std::_Exit(1);
  }
  runner.join();
  return result.get();
}

}  // namespace corvane::testing
