#include <system_error>

#include "engine/toolkit.h"

namespace corvane::tk {

Thread::~Thread() { Join(); }

bool Thread::StartThread() {
  if (thread_.joinable()) return false;
  try {
    thread_ = std::thread([this] { ThreadProc(); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void Thread::Join() {
  if (!thread_.joinable()) return;
  // Joining itself would throw; a thread that ends its own object lets go instead.
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();
  } else {
    thread_.join();
  }
}

}  // namespace corvane::tk
