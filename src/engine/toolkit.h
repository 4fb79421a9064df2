// The UI toolkit's contract: observable variables with dependants, a
// re-entrant lock, threads, and the base of the controls, in the spellings the
// plug-in derives from. toolkit/ implements it.
//
// What the toolkit does on the plug-in's behalf beyond a single object
// (starting threads, queueing and dispatching posted messages, and later
// running modal dialogs) goes through one seam, ToolkitServices; a test
// installs a fake there. A dependant is any MessageSink (a dialog window, or a
// test's recorder).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace corvane::platform {
class Thread;
}

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

enum class ThreadPriority : std::uint8_t { Normal, TimeCritical };

// The toolkit's process-wide services.
class ToolkitServices {
 public:
  virtual ~ToolkitServices() = default;
  // Runs body on a new thread owned by thread; false when it cannot start
  // (or thread still has one that was not joined).
  virtual bool startThread(platform::Thread& thread, std::string_view name, ThreadPriority priority,
                           std::function<void()> body) = 0;
  // Queues a message for a dependant that is alive now; a target destroyed
  // before dispatch never receives it.
  virtual void postMessage(HWND target, std::int32_t message, ToolkitUI* sender) = 0;
  // Delivers, on the calling thread and in posting order, the messages posted
  // before this call. The dialog host's loop calls it.
  virtual void dispatchPostedMessages() = 0;
};

// The services in use: the toolkit's own unless a test installed others.
ToolkitServices& toolkitServices();

// Puts services in place (nullptr: the toolkit's own) and gives back the
// previous ones. Tests only; not while toolkit objects are in use.
ToolkitServices* installToolkitServices(ToolkitServices* services);

// A re-entrant critical section.
class vBlock {
 public:
  vBlock();
  ~vBlock();
  vBlock(const vBlock&) = delete;
  vBlock& operator=(const vBlock&) = delete;
  void enter();
  void leave();
  // BasicLockable, for std::lock_guard.
  void lock() { enter(); }
  void unlock() { leave(); }

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Keeps a set of dependants; sends (the call returns after every dependant has
// handled the message) or posts (through the services' queue). Handlers run
// with no lock held: they may add or remove dependants.
class TKmsg {
 public:
  TKmsg();
  virtual ~TKmsg();
  TKmsg(const TKmsg&) = delete;
  TKmsg& operator=(const TKmsg&) = delete;
  void AddDependant(HWND window);
  void DeleteDependant(HWND window);
  void SendMessageA(std::int32_t message, ToolkitUI* sender);
  void PostMessageA(std::int32_t message, ToolkitUI* sender);

 private:
  struct Dependants;
  std::unique_ptr<Dependants> dependants_;
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

// StartThread runs ThreadProc on a new thread, named and at the priority given
// at construction. Join waits for ThreadProc to return, from any thread; on
// the thread itself it returns at once. The destructor joins, so the owner
// must make ThreadProc return, and should Join, before its own members go
// (~Thread runs after the derived part is destroyed). A ThreadProc may end by
// destroying its own object: the thread then ends without being waited for.
class Thread {
 public:
  Thread();
  explicit Thread(std::string name, ThreadPriority priority = ThreadPriority::Normal);
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  // False when the thread cannot start or an earlier one was not joined.
  bool StartThread();
  // Harmless when it never started.
  void Join();

 protected:
  virtual void ThreadProc() = 0;

 private:
  std::string name_;
  ThreadPriority priority_;
  std::unique_ptr<platform::Thread> thread_;
};

}  // namespace corvane::tk
