// The UI toolkit's contract: observable variables with dependants, a
// re-entrant lock, threads, and the base of the controls. toolkit/ implements
// it. A dependant is any MessageSink (a dialog window, or a test's recorder).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace corvane::tk {

class ToolkitUI;

// Receives toolkit messages (0x400 before a change, 0x401 after it).
class MessageSink {
 public:
  MessageSink();
  virtual ~MessageSink();
  MessageSink(const MessageSink&) = delete;
  MessageSink& operator=(const MessageSink&) = delete;
  virtual void onToolkitMessage(std::int32_t message, ToolkitUI* sender) = 0;
};
using HWND = MessageSink*;

inline constexpr std::int32_t kMessageChanging = 0x400;
inline constexpr std::int32_t kMessageChanged = 0x401;

// Delivers the messages posted so far to their targets that still exist, on
// the calling thread. The dialog host's loop calls it.
void dispatchPostedMessages();

// A re-entrant critical section.
class vBlock {
 public:
  vBlock() = default;
  ~vBlock() = default;
  vBlock(const vBlock&) = delete;
  vBlock& operator=(const vBlock&) = delete;
  void enter() { mutex_.lock(); }
  void leave() { mutex_.unlock(); }
  // BasicLockable, for std::lock_guard.
  void lock() { enter(); }
  void unlock() { leave(); }

 private:
  std::recursive_mutex mutex_;
};

// Keeps a set of dependants; sends (the call returns after every dependant has
// handled the message) or posts (queued for dispatchPostedMessages).
class TKmsg {
 public:
  TKmsg() = default;
  virtual ~TKmsg() = default;
  void AddDependant(HWND window);
  void DeleteDependant(HWND window);
  void SendMessageA(std::int32_t message, ToolkitUI* sender);
  void PostMessageA(std::int32_t message, ToolkitUI* sender);

 private:
  std::vector<HWND> dependantsSnapshot();
  std::mutex dependantsLock_;
  std::vector<HWND> dependants_;  // guarded by dependantsLock_
};

// An observable signed 32-bit value. Get reads under the lock. Set does
// nothing for an equal value; otherwise it announces 0x400, stores under the
// lock, announces 0x401 (announcements with no lock held), and gives the
// previous value.
class mINT32 : public TKmsg {
 public:
  mINT32() = default;
  explicit mINT32(std::int32_t value) : value_(value) {}
  std::int32_t Get();
  std::int32_t Set(std::int32_t value, ToolkitUI* sender, bool post);

 private:
  vBlock lock_;
  std::int32_t value_ = 0;  // guarded by lock_
};

// The same for a double.
class mFLT64 : public TKmsg {
 public:
  mFLT64() = default;
  explicit mFLT64(double value) : value_(value) {}
  double Get();
  double Set(double value, ToolkitUI* sender, bool post);

 private:
  vBlock lock_;
  double value_ = 0.0;  // guarded by lock_
};

// Base of the controls (sliders, edit boxes); the dialog host owns their windows.
class ToolkitUI {
 public:
  ToolkitUI() = default;
  virtual ~ToolkitUI() = default;
};

// StartThread runs ThreadProc on a new thread. The destructor waits for the
// thread to end, so the owner must first make ThreadProc return.
class Thread {
 public:
  Thread() = default;
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  bool StartThread();
  // Waits for ThreadProc to return; harmless when it never started.
  void Join();

 protected:
  virtual void ThreadProc() = 0;

 private:
  std::thread thread_;
};

}  // namespace corvane::tk
