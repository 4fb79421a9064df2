// BackgroundJob: a second thread that runs one job at a time, so that the
// conversion of a field that has arrived overlaps the transfer of the next.
// Owned by one QvfStream and used under its entry lock only; start and wait
// come from one thread at a time. Jobs are a function and a pointer, so
// nothing is allocated per frame.
#pragma once

#include <condition_variable>
#include <mutex>

#include "platform/thread.h"

namespace corvane::qvf {

class BackgroundJob {
 public:
  using Function = void (*)(void* context);

  // Throws std::system_error when no thread can be started.
  BackgroundJob();
  ~BackgroundJob();  // waits for a running job, then ends the thread
  BackgroundJob(const BackgroundJob&) = delete;
  BackgroundJob& operator=(const BackgroundJob&) = delete;

  // Requires the previous job to have been waited for.
  void start(Function function, void* context);
  // Returns once the started job has finished; at once when none runs.
  void wait();

 private:
  void run();

  std::mutex lock_;
  std::condition_variable changed_;
  Function function_ = nullptr;  // guarded by lock_; non-null while a job is pending or running
  void* context_ = nullptr;      // guarded by lock_
  bool stopping_ = false;        // guarded by lock_
  platform::Thread thread_;      // last: started once the state above exists
};

}  // namespace corvane::qvf
