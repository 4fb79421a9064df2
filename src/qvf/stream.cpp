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
  if (background_) background_->wait();
}

ReadAhead* QvfStream::readAhead() {
  if (!readAhead_ && backgroundJob() != nullptr && videoContexts_.size() >= 2) {
    try {
      readAhead_ = std::make_unique<ReadAhead>(video(0)->chunkSize, video(1)->chunkSize);
    } catch (const std::bad_alloc&) {
      return nullptr;
    }
  }
  return readAhead_.get();
}

VideoStreamContext* QvfStream::contextFor(std::uint32_t field, std::uint32_t pair) {
  const std::uint64_t index = std::uint64_t{pair} * 2 + (field & 1);
  return index < videoContexts_.size() ? videoContexts_[index].get() : nullptr;
}

bool QvfStream::readField(std::uint32_t field, std::uint32_t pair, std::span<std::uint8_t> buffer) {
  VideoStreamContext* context = contextFor(field, pair);
  if (context == nullptr || buffer.size() < context->chunkSize) return false;
  return file_.readAt(context->positionOf(field >> 1), buffer.first(context->chunkSize));
}

bool QvfStream::writeField(std::uint32_t field, std::uint32_t pair, std::span<const std::uint8_t> buffer) {
  VideoStreamContext* context = contextFor(field, pair);
  if (context == nullptr || buffer.size() < context->chunkSize) return false;
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

std::uint32_t QvfStream::frameCount() const {
  return frameCountFor(file_.fileSize(), header_.dataOffset, header_.frameBlockSize);
}

}  // namespace corvane::qvf
