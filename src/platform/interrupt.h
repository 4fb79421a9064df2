// Ctrl-C and termination for a command-line tool that writes files: an
// interrupt (SIGINT or SIGTERM; on Windows Ctrl-C, Ctrl-Break or the console
// being closed) removes the files registered here, prints the registered line
// and ends the process the way the interrupt would have (by the same signal;
// on Windows with the Ctrl-C exit status), so the caller's shell sees an
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

// While alive, interrupts are held instead of ending the process,
// so that a command can stop its device in order and say what it did; a
// second signal ends the process at once as usual. One at a time.
class HoldInterrupts {
 public:
  HoldInterrupts();
  // The held interrupt as its C signal number, 0 while none came: SIGINT for
  // Ctrl-C, SIGTERM for termination (on Windows Ctrl-Break and closing).
  int signal() const;
  // Removes the registered files, writes their lines and ends the process
  // as the held interrupt would have; returns when none came.
  void endIfInterrupted() const;
  ~HoldInterrupts();
  HoldInterrupts(const HoldInterrupts&) = delete;
  HoldInterrupts& operator=(const HoldInterrupts&) = delete;
};

}  // namespace corvane::platform
