// A dependant that records every message it handles, with the value of a
// watched variable at that moment, and can run an extra action per message.
#pragma once

#include <functional>
#include <mutex>
#include <vector>

#include "engine/toolkit.h"

namespace corvane::tk::testing {

struct Received {
  std::int32_t message;
  ToolkitUI* sender;
  double observed;  // the watched variable's value during the handler
};

class RecordingSink : public MessageSink {
 public:
  std::function<double()> watch = [] { return 0.0; };
  std::function<void(std::int32_t)> action;

  void onToolkitMessage(std::int32_t message, ToolkitUI* sender) override {
    double observed = watch();
    {
      std::lock_guard guard(lock_);
      received_.push_back(Received{message, sender, observed});
    }
    if (action) action(message);
  }

  std::vector<Received> received() {
    std::lock_guard guard(lock_);
    return received_;
  }
  std::vector<std::int32_t> messages() {
    std::vector<std::int32_t> out;
    for (const Received& r : received()) out.push_back(r.message);
    return out;
  }

 private:
  std::mutex lock_;
  std::vector<Received> received_;
};

}  // namespace corvane::tk::testing
