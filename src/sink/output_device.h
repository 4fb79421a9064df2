// The output device from the interface's query to the plug-in's unload: the
// one playback engine of the process (made by the query, ended by the
// interface's close), the sink handles the host holds, and the frame buffers
// the host still held when an engine ended.
//
// Every call that takes a handle first looks it up among the handles given
// out and not yet closed; an unknown handle gets false (or null) and nothing
// is touched. Thread-safe: the host may call from any of its threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "engine/realtime_engine.h"
#include "engine/video_mode.h"
#include "exports/handle_table.h"
#include "exports/pixel_format.h"
#include "platform/clock.h"
#include "sink/frame_pool.h"
#include "sink/playback_engine.h"
#include "sink/sink_record.h"

namespace corvane::sink {

struct OutputDeviceSeams {
  engine::RealtimeEngine& board;
  platform::Clock& clock;
  VideoMode mode;
  // Told of each frame the playback thread dropped for want of a board
  // frame (PlaybackSeams::frameDropped).
  std::function<void()> frameDropped = {};
};

// A filled buffer as the host hands it back.
struct FullBuffer {
  std::uint8_t* data = nullptr;
  std::int64_t presentationTime = 0;
  bool drop = false;                           // the host asks for it to be dropped
  std::optional<exports::PixelFormat> format;  // none: a text that names no format
  std::size_t dataSize = 0;
};

class OutputDevice {
 public:
  // The seams must outlive this.
  explicit OutputDevice(const OutputDeviceSeams& seams);
  // end(), then the kept buffers are given back.
  ~OutputDevice();
  OutputDevice(const OutputDevice&) = delete;
  OutputDevice& operator=(const OutputDevice&) = delete;

  // The interface's query: a new engine; one made before ends. Throws
  // EngineError (or another failure) when none can be made.
  void makeEngine();
  // The interface's close: the engine ends; the buffers the host holds stay.
  void closeEngine();

  // The output preview an open starts before it reads the host's record;
  // null when none is wanted or no memory for its record could be had.
  // Throws EngineError when the program does not start.
  static std::unique_ptr<preview::PreviewProcess> launchPreview(bool wanted);
  // A new handle owning preview, or null (the preview stopped) when no
  // memory for its record could be had.
  void* open(const SinkOpenRequest& request, std::unique_ptr<preview::PreviewProcess> preview);
  bool isOpen(const void* handle) const;
  // The three offered formats of an open handle; null for any other.
  const std::uint8_t* offeredFormats(const void* handle) const;

  // A free buffer's pixel area, waiting while none is free; null for an
  // unknown handle or with no engine.
  std::uint8_t* takeEmptyBuffer(const void* handle);
  // The host's answer for a filled buffer: 1 when it was taken (queued, or
  // released for a format of no name), 0 when dropped or not taken.
  std::int32_t addFullBuffer(const void* handle, const FullBuffer& buffer);
  bool start(const void* handle);
  // Waits until every queued frame went out.
  bool stop(const void* handle);
  // Waits as stop; then the record, its event and its preview end. The
  // answer of the preview's running test goes to the preview key.
  bool close(const void* handle);

  // The plug-in is unloading: every open handle ends (event closed, preview
  // stopped) and the engine with them, without waiting for queued frames.
  void end() noexcept;

  // Buffers kept from ended engines (for tests).
  std::size_t keptBuffers() { return kept_.count(); }

 private:
  std::shared_ptr<PlaybackEngine> engine() const;
  void drain(PlaybackEngine& engine);

  const OutputDeviceSeams seams_;
  // Declared first: outlives every engine whose held buffers it takes.
  KeptBuffers kept_;
  exports::HandleTable<SinkRecord> handles_;
  mutable std::mutex engineLock_;
  std::shared_ptr<PlaybackEngine> engine_;  // guarded by engineLock_
};

}  // namespace corvane::sink
