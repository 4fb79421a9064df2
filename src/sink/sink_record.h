// The output device's handle: a 976-byte record that the plug-in owns and the
// host reads. It carries the three offered formats, copies of the host's
// words, the start event and the address of the output preview. The record
// owns the event and the preview; both end with it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "engine/video_mode.h"
#include "exports/format_descriptor.h"
#include "preview/preview_process.h"

namespace corvane::sink {

struct SinkRecordLayout {
  using FD = exports::FormatDescriptorLayout;
  static constexpr std::size_t kSizeWord = 0;
  static constexpr std::size_t kOffered = 4;  // three FormatDescriptors: 4:2:2, 4:4:4, RGBA-32
  static constexpr std::size_t kHostWord48At20 = 712;
  static constexpr std::size_t kHostWord36 = 716;
  static constexpr std::size_t kChosenFormat = 720;  // FormatDescriptor
  static constexpr std::size_t kHostWord16 = 956;
  static constexpr std::size_t kHostWord20 = 960;
  static constexpr std::size_t kHostWord32 = 964;
  static constexpr std::size_t kStartEvent = 968;
  static constexpr std::size_t kPreview = 972;  // address
  static constexpr std::size_t kSize = 976;
  static constexpr std::uint32_t kOfferedCount = 3;
};
static_assert(SinkRecordLayout::kOffered + 3 * SinkRecordLayout::FD::kSize ==
              SinkRecordLayout::kHostWord48At20);
static_assert(SinkRecordLayout::kChosenFormat + SinkRecordLayout::FD::kSize == SinkRecordLayout::kHostWord16);

// What an open copies from the host's parameters into the record.
struct SinkOpenRequest {
  std::array<std::uint8_t, exports::FormatDescriptorLayout::kSize> chosenFormat{};
  std::uint32_t hostWord48At20 = 0;
  std::uint32_t word16 = 0;
  std::uint32_t word20 = 0;
  std::uint32_t word32 = 0;
  std::uint32_t word36 = 0;
};

class SinkRecord {
 public:
  // The record filled for mode, with a signalled manual-reset start event and
  // the preview (which may be null). Throws std::bad_alloc.
  SinkRecord(const SinkOpenRequest& request, const VideoMode& mode,
             std::unique_ptr<preview::PreviewProcess> preview);
  // Closes the event and stops a preview still running.
  ~SinkRecord();
  SinkRecord(const SinkRecord&) = delete;
  SinkRecord& operator=(const SinkRecord&) = delete;

  // What the host holds: the record's address.
  void* handle() const { return bytes_.get(); }
  std::uint32_t startEvent() const { return event_; }
  const std::uint8_t* offeredFormats() const { return bytes_.get() + SinkRecordLayout::kOffered; }

  // Playback starts: the size word is written and the start event signalled.
  // Host threads may start the same handle at once.
  void markStarted();
  // The running test, then the stop: 1 when the preview still ran, else 0.
  std::int32_t closePreview();

 private:
  std::unique_ptr<std::uint8_t[]> bytes_;
  std::unique_ptr<preview::PreviewProcess> preview_;
  std::uint32_t event_ = 0;
  std::mutex startLock_;  // serialises the writes of markStarted
};

}  // namespace corvane::sink
