// The UI toolkit's contract: observable variables with dependants, a
// re-entrant lock, threads, and the base of the controls, in the spellings the
// plug-in derives from. toolkit/ implements it.
//
// What the toolkit does on the plug-in's behalf beyond a single object
// (starting threads, queueing and dispatching posted messages, running modal
// dialogs) goes through one seam, ToolkitServices; a test installs a fake
// there. The dialog types are in engine/dialog.h. A dependant is any MessageSink (a dialog window, or a
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
struct DialogTemplate;
class DialogProcedure;
namespace detail {
class ModalDialog;
}

// Receives toolkit messages (0x400 before a change, 0x401 after it).
class MessageSink {
 public:
  MessageSink();
  virtual ~MessageSink();
  MessageSink(const MessageSink&) = delete;
  MessageSink& operator=(const MessageSink&) = delete;
  virtual void onToolkitMessage(std::int32_t message, ToolkitUI* sender) = 0;

 protected:
  // Waits for a delivery to this sink running on another thread and lets no
  // new one start. The base destructor does it too, but by then a derived
  // handler's members are gone: a sink whose handler uses its own members
  // calls this first in its destructor. Idempotent.
  void endDeliveries();
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
  // Runs a dialog modally on the calling thread; the result of its end.
  virtual std::int32_t runModalDialog(const DialogTemplate& dialog, DialogProcedure& procedure) = 0;
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
  ToolkitUI(const ToolkitUI&) = delete;
  ToolkitUI& operator=(const ToolkitUI&) = delete;
};

// A control bound to an mFLT64: it is one of the variable's dependants while
// its window exists, and a user's move or typing sets the variable through the
// change protocol with the control as sender. Its window ends with the dialog
// it was opened in (the control then leaves the variable's dependants and is
// unbound), or earlier with DeleteAdditionalDependancies; an object destroyed
// while still open leaves first. So a control never outlives a dependant list
// it is on, however long its owner keeps the object.
class TKValueControl : public ToolkitUI, public MessageSink {
 public:
  ~TKValueControl() override;
  // Leaves the old variable's dependants and joins value's (nullptr: none).
  void ChangeVariable(mFLT64* value);
  // The bound value; 0 when unbound.
  double GetValue();
  // As a user's input: the variable becomes exactly value.
  void SetValue(double value);
  // Leaves the variable's dependants and the dialog; the control is unbound.
  void DeleteAdditionalDependancies();
  mFLT64* variable() const { return value_; }
  // Where the control was opened, in its dialog's client coordinates.
  std::uint32_t left() const { return x_; }
  std::uint32_t top() const { return y_; }
  void onToolkitMessage(std::int32_t message, ToolkitUI* sender) override;

 protected:
  TKValueControl() = default;
  // Binds to value and places the control in parent (a dialog the toolkit runs).
  void open(HWND parent, std::uint32_t x, std::uint32_t y, mFLT64* value);

 private:
  friend class detail::ModalDialog;
  detail::ModalDialog* host_ = nullptr;  // the dialog the window lives in, while it exists
  mFLT64* value_ = nullptr;
  std::uint32_t x_ = 0;
  std::uint32_t y_ = 0;
};

// A slider between low and high. A user's move goes in whole steps and stays
// within the range; the value itself may lie anywhere.
class TKSlider : public TKValueControl {
 public:
  TKSlider() = default;
  // The unnamed number and the two unnamed variables tune the drawing of the
  // native control; this toolkit does not use them. text may be null.
  void OpenControl(HWND parent, std::uint32_t x, std::uint32_t y, float width, float height, std::uint32_t,
                   mFLT64* value, mFLT64* low, mFLT64* high, mFLT64*, mFLT64*, const char* text);
  double low();
  double high();
  // Where a user's step (direction -1 or +1) takes the value: to the next
  // whole step that way, kept within the range.
  double stepped(int direction, double step = 1.0);

 private:
  mFLT64* low_ = nullptr;
  mFLT64* high_ = nullptr;
};

class TKEdit : public TKValueControl {
 protected:
  TKEdit() = default;
};

// A number box that shows the bound value as %g and takes what a user types.
class TKFLT64Edit : public TKEdit {
 public:
  TKFLT64Edit() = default;
  void OpenControl(HWND parent, std::uint32_t x, std::uint32_t y, float width, float height, mFLT64* value);
  std::string GetEditString();
  // Sets the variable to the number text spells; false, with nothing set,
  // when text is not entirely a finite number.
  bool SetEditString(std::string_view text);
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
