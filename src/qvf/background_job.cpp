#include "qvf/background_job.h"

#include <system_error>

namespace corvane::qvf {

BackgroundJob::BackgroundJob() {
  if (const std::error_code failed = thread_.start({"corvane-helper"}, [this] { run(); }))
    throw std::system_error(failed, "the file engine's helper thread");
}

BackgroundJob::~BackgroundJob() {
  {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait(guard, [this] { return function_ == nullptr; });
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void BackgroundJob::start(Function function, void* context) {
  {
    std::lock_guard<std::mutex> guard(lock_);
    function_ = function;
    context_ = context;
  }
  changed_.notify_all();
}

void BackgroundJob::wait() {
  std::unique_lock<std::mutex> guard(lock_);
  changed_.wait(guard, [this] { return function_ == nullptr; });
}

void BackgroundJob::run() {
  std::unique_lock<std::mutex> guard(lock_);
  for (;;) {
    changed_.wait(guard, [this] { return stopping_ || function_ != nullptr; });
    if (function_ == nullptr) return;  // stopping, nothing pending
    const Function function = function_;
    void* const context = context_;
    guard.unlock();
    function(context);
    guard.lock();
    function_ = nullptr;
    changed_.notify_all();
  }
}

}  // namespace corvane::qvf
