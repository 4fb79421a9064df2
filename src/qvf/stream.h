// QvfStream: one open QVF file as the registry holds it (its unbuffered
// handle, a copy of its headers, and one context per video stream), and the
// field-addressed transfers that the reader and writer are built on.
//
// Field f of video pair k lives in video stream 2k + (f & 1), chunk f >> 1.
// Not thread-safe: used under the lock of the file's registry entry.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/memory.h"
#include "qvf/background_job.h"
#include "qvf/container.h"
#include "qvf/read_ahead.h"
#include "qvf/streaming_file.h"
#include "qvf/write_behind.h"

namespace corvane::qvf {

// One video stream of an open file, with a page-aligned buffer of one chunk
// that conversions and unbuffered transfers share.
class VideoStreamContext {
 public:
  // Throws std::bad_alloc when the chunk buffer cannot be had.
  VideoStreamContext(const QvfStreamHeader& header, std::uint32_t base, std::uint32_t stride);
  virtual ~VideoStreamContext();
  VideoStreamContext(const VideoStreamContext&) = delete;
  VideoStreamContext& operator=(const VideoStreamContext&) = delete;

  virtual std::uint32_t sampleDepth() const;
  // The whole field (width x lines pixels) to 32-bit B G R A, and back. Both
  // require the field to fit its chunk (see fieldFitsChunk).
  virtual void decodeToBgra(std::uint8_t* destination);
  virtual void encodeFromBgra(const std::uint8_t* source);

  std::uint64_t positionOf(std::uint32_t chunk) const { return chunkPosition(base, stride, chunk); }
  // True when width x lines x 2 bytes of 4:2:2 fit in the chunk buffer.
  bool fieldFitsChunk() const;

  std::uint32_t chunkSize;
  std::uint32_t stride;  // the file's frame block size
  std::uint32_t base;    // file offset of chunk 0
  std::int32_t width;
  std::uint32_t lines;
  platform::PageBuffer chunkBuffer;
};

class QvfStream {
 public:
  // What the validating open read and built; the file is opened afterwards.
  QvfStream(const QvfFileHeader& header, std::vector<QvfStreamHeader> streamHeaders,
            std::int32_t audioStreamCount, std::vector<std::unique_ptr<VideoStreamContext>> videoContexts);
  // A stream still open here is closed quietly; close() reports failures.
  ~QvfStream();
  QvfStream(const QvfStream&) = delete;
  QvfStream& operator=(const QvfStream&) = delete;

  // Closes the streaming file; throws EngineError "Could not close the Win32
  // streaming file handle." on failure, after releasing the handle.
  void close();

  StreamingFile& file() { return file_; }
  const StreamingFile& file() const { return file_; }
  const QvfFileHeader& header() const { return header_; }
  const std::vector<QvfStreamHeader>& streamHeaders() const { return streamHeaders_; }
  std::int32_t audioStreamCount() const { return audioStreamCount_; }
  std::int32_t videoStreamCount() const { return static_cast<std::int32_t>(videoContexts_.size()); }
  std::uint32_t sectorSize() const { return kSectorSize; }

  // The context of field f of pair k; nullptr when the file has no such stream.
  VideoStreamContext* contextFor(std::uint32_t field, std::uint32_t pair);
  // Video stream index in video stream order; nullptr past the last.
  VideoStreamContext* video(std::size_t index) {
    return index < videoContexts_.size() ? videoContexts_[index].get() : nullptr;
  }

  // One field's whole chunk, between the file and a caller's buffer of at
  // least the chunk size; false when the file has no such stream or the
  // transfer fails or falls short. Frames move through frame_transfer.h.
  bool readField(std::uint32_t field, std::uint32_t pair, std::span<std::uint8_t> buffer);
  bool writeField(std::uint32_t field, std::uint32_t pair, std::span<const std::uint8_t> buffer);

  // Both chunks of frame n of pair 0 from the given buffers (each one chunk
  // long): one gather write where the chunks lie side by side, else field 0
  // and, only when that succeeded, field 1.
  bool writeFrameChunks(std::uint32_t n, std::span<const std::uint8_t> first,
                        std::span<const std::uint8_t> second);

  // Whole frames in the file now, a write behind included: it is waited for.
  std::uint32_t frameCount();

  // The helper thread for overlapping conversions, started on first use;
  // nullptr when no thread can be had (callers then convert inline).
  BackgroundJob* backgroundJob();
  // The read-ahead of converted frames, made on first use with the helper;
  // nullptr when either cannot be had.
  ReadAhead* readAhead();
  // The write behind of converted frames, made on first use with the helper;
  // nullptr when either cannot be had.
  WriteBehind* writeBehind();
  // Waits until the helper thread is idle (no read ahead or write behind
  // runs), keeping the failure of a write behind for takeWriteFailure. Every
  // use of the file by the entry's owner comes after it, but for the read
  // ahead's own (see read_ahead.h).
  void settleHelper();
  // The same, only when a write behind was started since: afterwards the
  // helper runs nothing but a read ahead, if anything.
  void settleWriteBehind();
  // Settles the helper; true when a write behind failed, or a failure was
  // noted, since the last call: the frame call or the close that reports the
  // failure takes it.
  bool takeWriteFailure();
  // A failure of an earlier open of the file that no call has reported yet.
  void noteWriteFailure() { writeFailed_ = true; }

 private:
  StreamingFile file_;
  QvfFileHeader header_;
  std::vector<QvfStreamHeader> streamHeaders_;
  std::int32_t audioStreamCount_ = 0;
  std::vector<std::unique_ptr<VideoStreamContext>> videoContexts_;  // in video stream order
  // The destructor and close() let the helper finish before the file goes.
  std::unique_ptr<BackgroundJob> background_;
  std::unique_ptr<ReadAhead> readAhead_;
  std::unique_ptr<WriteBehind> writeBehind_;
  bool writeFailed_ = false;  // a write behind failed and no call has reported it
};

}  // namespace corvane::qvf
