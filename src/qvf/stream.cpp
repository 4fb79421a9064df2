#include "qvf/stream.h"

#include <system_error>
#include <utility>

#include "engine/pixeltools.h"

namespace corvane::qvf {

VideoStreamContext::VideoStreamContext(const QvfStreamHeader& header, std::uint32_t base_,
                                       std::uint32_t stride_)
    : chunkSize(header.chunkSize),
      stride(stride_),
      base(base_),
      width(widthOf(header)),
      lines(header.lines),
      chunkBuffer(header.chunkSize) {}

VideoStreamContext::~VideoStreamContext() = default;

std::uint32_t VideoStreamContext::sampleDepth() const { return 8; }

bool VideoStreamContext::fieldFitsChunk() const {
  return width >= 0 && std::uint64_t(std::uint32_t(width)) * lines * 2 <= chunkBuffer.size();
}

void VideoStreamContext::decodeToBgra(std::uint8_t* destination) {
  decode_ycbcr8_bgra(destination, chunkBuffer.data(), static_cast<std::uint32_t>(width) * lines);
}

void VideoStreamContext::encodeFromBgra(const std::uint8_t* source) {
  encode_bgra_ycbcr8(chunkBuffer.data(), source, static_cast<std::uint32_t>(width) * lines);
}

QvfStream::QvfStream(const QvfFileHeader& header, std::vector<QvfStreamHeader> streamHeaders,
                     std::int32_t audioStreamCount,
                     std::vector<std::unique_ptr<VideoStreamContext>> videoContexts)
    : header_(header),
      streamHeaders_(std::move(streamHeaders)),
      audioStreamCount_(audioStreamCount),
      videoContexts_(std::move(videoContexts)) {}

QvfStream::~QvfStream() {
  settleHelper();
  try {
    if (file_.isOpen()) file_.close();
  } catch (...) {
    // Nobody is left to tell; the handle is released all the same.
  }
}

void QvfStream::close() {
  settleHelper();
  file_.close();
}

void QvfStream::settleHelper() {
  if (!background_) return;
  background_->wait();
  if (writeBehind_ && !writeBehind_->finish()) writeFailed_ = true;
}

void QvfStream::settleWriteBehind() {
  if (writeBehind_ && writeBehind_->pending()) settleHelper();
}

bool QvfStream::takeWriteFailure() {
  settleHelper();
  return std::exchange(writeFailed_, false);
}

namespace {

// The helper's spare pair of chunk buffers, made on first use.
template <class Spare>
Spare* spareFor(QvfStream& stream, std::unique_ptr<Spare>& spare) {
  if (!spare && stream.backgroundJob() != nullptr && stream.videoStreamCount() >= 2) {
    try {
      spare = std::make_unique<Spare>(stream.video(0)->chunkSize, stream.video(1)->chunkSize);
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }
  return spare.get();
}

}  // namespace

ReadAhead* QvfStream::readAhead() { return spareFor(*this, readAhead_); }

WriteBehind* QvfStream::writeBehind() { return spareFor(*this, writeBehind_); }

VideoStreamContext* QvfStream::contextFor(std::uint32_t field, std::uint32_t pair) {
  const std::uint64_t index = std::uint64_t{pair} * 2 + (field & 1);
  return index < videoContexts_.size() ? videoContexts_[index].get() : nullptr;
}

bool QvfStream::readField(std::uint32_t field, std::uint32_t pair, std::span<std::uint8_t> buffer) {
  VideoStreamContext* context = contextFor(field, pair);
  if (context == nullptr || buffer.size() < context->chunkSize) return false;
  settleHelper();
  return file_.readAt(context->positionOf(field >> 1), buffer.first(context->chunkSize));
}

bool QvfStream::writeField(std::uint32_t field, std::uint32_t pair, std::span<const std::uint8_t> buffer) {
  VideoStreamContext* context = contextFor(field, pair);
  if (context == nullptr || buffer.size() < context->chunkSize) return false;
  settleHelper();
  return file_.writeAt(context->positionOf(field >> 1), buffer.first(context->chunkSize));
}

BackgroundJob* QvfStream::backgroundJob() {
  if (!background_) {
    try {
      background_ = std::make_unique<BackgroundJob>();
    } catch (const std::system_error&) {
      return nullptr;
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }
  return background_.get();
}

bool QvfStream::writeFrameChunks(std::uint32_t n, std::span<const std::uint8_t> first,
                                 std::span<const std::uint8_t> second) {
  const std::uint64_t firstAt = video(0)->positionOf(n);
  const std::uint64_t secondAt = video(1)->positionOf(n);
  if (secondAt == firstAt + first.size()) {
    const std::span<const std::uint8_t> chunks[2] = {first, second};
    return file_.writeAt(firstAt, chunks);
  }
  return file_.writeAt(firstAt, first) && file_.writeAt(secondAt, second);
}

std::uint32_t QvfStream::frameCount() {
  settleHelper();
  return frameCountFor(file_.fileSize(), header_.dataOffset, header_.frameBlockSize);
}

}  // namespace corvane::qvf
