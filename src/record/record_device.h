// RecordDevice: the record device from its open to its close. It attaches a
// probe to the board's input 0; the board's delivery thread calls
// onInputField for every field, which pairs the fields of each frame into one
// of 20 page-aligned slots and queues complete frames; the capture thread
// writes them, in order, into the record file through the file engine.
//
// Threads: the host's (every public member), the board's delivery thread
// (onInputField) and the capture thread. lock_ (re-entrant) guards the slot
// lists, the record path, the take's number and the changes of framesWritten
// and startCount (the host's start resets them as one step); the capture
// thread closes the record file while holding it, so it comes before the
// registry's locks. Single words that one thread writes and others poll are
// atomics.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/realtime_engine.h"
#include "engine/video_mode.h"
#include "platform/clock.h"
#include "platform/memory.h"
#include "platform/thread.h"
#include "qvf/file_io.h"
#include "qvf/registry.h"
#include "record/frame_slot.h"
#include "record/lost_frames.h"

namespace corvane::record {

struct RecordSeams {
  engine::RealtimeEngine& board;
  engine::MediaBroker& broker;
  engine::Handle switcher;
  VideoMode mode;
  qvf::OpenFileRegistry& registry;
  qvf::Storage& storage;  // where record files are created
  platform::Clock& clock;
  // StopRecordingWhenFramesAreDropped: read at every dropped frame, written by
  // the input dialog.
  std::atomic<bool>& stopWhenDropped;
};

class RecordDevice {
 public:
  static constexpr std::size_t kSlots = 20;
  // The capture thread's copy of the path holds 260 bytes.
  static constexpr std::size_t kMaxPathLength = 259;
  static constexpr std::uint32_t kNone = 0xFFFFFFFF;
  // With no frame reaching the capture thread for this long, a stop (or a new
  // file during one) ends the take itself instead of waiting for a frame
  // after the stop that will not come.
  static constexpr std::uint32_t kStallMilliseconds = 1000;
  static constexpr const char* kNoEngineMessage = "Cannot initialise the realtime engine.";

  // Builds the slots, starts the capture thread and attaches the probe with
  // onInputField. Throws EngineError with the failing step's message (or
  // std::bad_alloc) after releasing everything built so far.
  explicit RecordDevice(const RecordSeams& seams);
  // close(), if not done yet.
  ~RecordDevice();
  RecordDevice(const RecordDevice&) = delete;
  RecordDevice& operator=(const RecordDevice&) = delete;

  // A take starts with the frame after the board's current count.
  void start();
  // Returns once the capture thread has closed the record file at the first
  // frame after the stop (at once when no take runs or no file is set).
  void stop();
  // Frames handed to the writer in this take; intact while none was lost.
  struct Position {
    std::uint32_t frames;
    bool intact;
  };
  Position position() const;

  // Sets (or, for null, clears) the record file and its frame limit (0: none).
  // False, changing nothing, for a path longer than kMaxPathLength. While a
  // stop is ending the take into the previous file, waits for that first.
  bool addFile(std::uint32_t frameLimit, const char* path);
  void removeFile();

  // Ends capturing, detaches the probe, lets the capture thread write what is
  // queued and ends it. The counts and position stay readable. Idempotent.
  void close() noexcept;

  // This take's losses by cause (reset by start).
  LostCounts lostByCause() const { return lost_.snapshot(); }
  // The system's error number of this take's first failed write (0: none),
  // so that whoever reports the take can say why it failed.
  int firstWriteError() const { return firstWriteError_.load(std::memory_order_relaxed); }

  // The probe callback (context: the device). Hands every field back.
  static void onInputField(void* context, void* data, const std::uint8_t* frameInfo);

 private:
  void openProbe();
  void closeProbe() noexcept;
  void stopCaptureThread() noexcept;
  void onField(const std::uint8_t* pixels, const std::uint8_t* frameInfo);
  void takeField(const std::uint8_t* pixels, std::uint32_t count, std::uint32_t parity);
  void loseFrame(LostCause cause);
  void captureLoop();
  void captureFrame(FrameSlot& slot);
  bool writeFrame(const FrameSlot& slot, std::uint32_t written);
  void failedWrite(int error);
  void endTake(std::optional<LostCause> cause);  // lock_ held
  void checkFileStayed(const char* path);
  void endStalledTake();
  void waitForTakeToEnd();
  bool pathSet();

  const RecordSeams seams_;
  const std::size_t fieldBytes_;
  // All slots' pixels in one mapping, made ready for transfers when the
  // device is built: the board's thread takes no page fault in a take and
  // each frame's write has few pages to pin.
  platform::PageBuffer slotMemory_;
  std::vector<FrameSlot> slots_;

  mutable std::recursive_mutex lock_;
  FrameSlot* freeSlots_ = nullptr;         // LIFO; guarded by lock_
  FrameSlot* filledSlots_ = nullptr;       // FIFO; guarded by lock_
  std::optional<std::string> recordPath_;  // guarded by lock_
  // Bumped by start: a frame the capture thread was writing when a new take
  // started counts for neither take. Guarded by lock_.
  std::uint32_t takeNumber_ = 0;
  // The capture thread's own copy of the path it last recorded into.
  std::array<char, kMaxPathLength + 1> lastPath_{};
  // Owned by the callback while capturing; reset only once no callback runs.
  FrameSlot* assemblingSlot_ = nullptr;

  // Polled words. Relaxed where only the value matters; the slot hand-over
  // itself goes through lock_.
  std::atomic<std::uint32_t> framesWritten_{0};
  std::atomic<std::uint32_t> frameLimit_{kNone};
  std::atomic<std::uint32_t> startCount_{kNone};
  std::atomic<std::uint32_t> stopCount_{kNone};
  std::atomic<std::uint32_t> expectedField_{0};
  std::atomic<std::uint32_t> lostFrames_{0};
  std::atomic<std::uint32_t> framesTaken_{0};
  std::atomic<int> firstWriteError_{0};
  std::atomic<bool> capturing_{false};
  std::atomic<bool> fieldPriorityRaised_{false};
  std::atomic<bool> stopThread_{false};
  std::atomic<bool> endTakeRequested_{false};
  LostFrames lost_;

  engine::Handle engine_ = 0;
  engine::Handle probe_ = 0;
  platform::Thread captureThread_;
  bool closed_ = false;
};

}  // namespace corvane::record
