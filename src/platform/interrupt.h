// Ctrl-C and termination for a command-line tool that writes files: SIGINT
// and SIGTERM remove the files registered here, print the registered line
// and end the process by the same signal, so the caller's shell sees an
// interrupted program and no half-written file stays behind. A file-size
// limit makes writes fail with an error instead of killing the process.
#pragma once

#include <string>

namespace corvane::platform {

// Installs the handlers; call once, before any file is registered.
void installInterruptCleanup();

// While alive, an interrupt removes path (a file, or an empty directory) and
// writes message (one line, if any) to standard error, in the order of
// registration. At most eight at a time; more are not removed on interrupt.
class RemoveOnInterrupt {
 public:
  RemoveOnInterrupt(const std::string& path, const std::string& message);
  ~RemoveOnInterrupt();
  RemoveOnInterrupt(const RemoveOnInterrupt&) = delete;
  RemoveOnInterrupt& operator=(const RemoveOnInterrupt&) = delete;

 private:
  int slot_ = -1;
};

// While alive, the first SIGINT or SIGTERM only takes note (signal()), for
// work that ends itself and keeps what it has; registered files stay. A
// second one interrupts as above. One at a time.
class DeferInterrupt {
 public:
  DeferInterrupt();
  ~DeferInterrupt();
  DeferInterrupt(const DeferInterrupt&) = delete;
  DeferInterrupt& operator=(const DeferInterrupt&) = delete;

  // The signal noted, or 0.
  int signal() const;
};

}  // namespace corvane::platform
