#include "sink/sink_record.h"

#include <cstring>

#include "exports/host_record.h"
#include "exports/pixel_format.h"
#include "platform/event.h"

namespace corvane::sink {
namespace {

using exports::HostRecord;
using FD = exports::FormatDescriptorLayout;
using L = SinkRecordLayout;

// The offered formats carry no display name, unlike the file services' tables.
void writeOfferedFormat(HostRecord& record, std::size_t at, const exports::PixelFormatId& format,
                        const VideoMode& mode) {
  record.setU32(at + FD::kSizeWord, FD::kSize);
  record.setU32(at + FD::kWidth, mode.frameWidth);
  record.setU32(at + FD::kHeight, mode.frameHeight);
  record.setText(at + FD::kPixelFormatId, FD::kTextCapacity, format.guid);
  record.setU32(at + FD::kRateNumerator, mode.rateNumerator);
  record.setU32(at + FD::kRateDenominator, mode.rateDenominator);
  record.setU32(at + FD::kFrameBytes, exports::frameBytes(format.format, mode.frameWidth, mode.frameHeight));
  record.setU32(at + FD::kFlags, format.flags);
}

}  // namespace

SinkRecord::SinkRecord(const SinkOpenRequest& request, const VideoMode& mode,
                       std::unique_ptr<preview::PreviewProcess> preview)
    : bytes_(new std::uint8_t[L::kSize]()), preview_(std::move(preview)) {
  HostRecord record(bytes_.get(), L::kSize);
  writeOfferedFormat(record, L::kOffered, exports::kFormat422, mode);
  writeOfferedFormat(record, L::kOffered + FD::kSize, exports::kFormat444, mode);
  writeOfferedFormat(record, L::kOffered + 2 * FD::kSize, exports::kFormatRgba32, mode);
  std::memcpy(record.bytes(L::kChosenFormat, FD::kSize), request.chosenFormat.data(), FD::kSize);
  record.setU32(L::kHostWord48At20, request.hostWord48At20);
  record.setU32(L::kHostWord36, request.word36);
  record.setU32(L::kHostWord16, request.word16);
  record.setU32(L::kHostWord20, request.word20);
  record.setU32(L::kHostWord32, request.word32);
  event_ = platform::createEvent(true);
  record.setU32(L::kStartEvent, event_);
  record.setAddress(L::kPreview, preview_.get());
}

SinkRecord::~SinkRecord() {
  if (event_ != 0) platform::closeEvent(event_);
}

void SinkRecord::markStarted() {
  std::lock_guard guard(startLock_);
  HostRecord(bytes_.get(), L::kSize).setU32(L::kSizeWord, L::kSize);
  platform::setEvent(event_);
}

std::int32_t SinkRecord::closePreview() { return preview::closePreview(preview_); }

}  // namespace corvane::sink
