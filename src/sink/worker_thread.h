// A thread owned by an object: the object's run() is the thread's body.
// A derived class starts it once it is fully made and must join it in its
// own destructor, before any member run() uses is gone.
#pragma once

#include <string_view>
#include <system_error>

#include "platform/thread.h"

namespace corvane::sink {

class WorkerThread {
 public:
  virtual ~WorkerThread() = default;
  WorkerThread() = default;
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

 protected:
  [[nodiscard]] std::error_code start(std::string_view name, platform::ThreadPriority priority) {
    return thread_.start({name, priority}, [this] { run(); });
  }
  void join() { thread_.join(); }
  virtual void run() {}

 private:
  platform::Thread thread_;
};

}  // namespace corvane::sink
