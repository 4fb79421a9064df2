#include "platform/thread.h"

#include "engine/toolkit.h"

namespace corvane::tk {

Thread::Thread() : Thread("corvane-worker") {}

Thread::Thread(std::string name, ThreadPriority priority)
    : name_(std::move(name)), priority_(priority), thread_(std::make_unique<platform::Thread>()) {}

Thread::~Thread() { Join(); }

bool Thread::StartThread() {
  return toolkitServices().startThread(*thread_, name_, priority_, [this] { ThreadProc(); });
}

void Thread::Join() { thread_->join(); }

}  // namespace corvane::tk
