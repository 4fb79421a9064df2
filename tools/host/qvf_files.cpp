#include "host/qvf_files.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "host/host_record.h"
#include "platform/disk.h"
#include "platform/file.h"
#include "platform/file_status.h"

namespace corvane::host {
namespace {

constexpr std::size_t kFormatDescriptorSize = 236;
constexpr std::size_t kReadingFileInfoSize = 176;
constexpr std::size_t kReadFrameRequestSize = 492;
constexpr std::size_t kOpenWriteRequestSize = 592;
constexpr std::size_t kWritingFileInfoSize = 28;
constexpr std::size_t kVideoFrameSize = 140;

std::vector<HostFormat> formatTable(const void* table, std::uint32_t count) {
  if (table == nullptr) throw std::runtime_error("the plug-in gave no format table");
  std::vector<HostFormat> formats;
  for (std::uint32_t i = 0; i < count; ++i)
    formats.push_back(
        HostFormat::fromRecord(static_cast<const std::uint8_t*>(table) + i * kFormatDescriptorSize));
  return formats;
}

// The plug-in gives no reason; the one a user can act on is another program
// writing the file, which the sharing locks reveal.
std::runtime_error openFailure(const std::string& path) {
  if (platform::heldForWritingElsewhere(path.c_str()))
    return std::runtime_error(path + " is in use by another program (open for writing)");
  return std::runtime_error(path + " cannot be read as a QVF file (damaged)");
}

// ": REASON" for a write the plug-in refused: the system's error where the
// failing call left one, else a full disk when that is what it is.
std::string writeFailureReason(const std::string& path, std::size_t needed) {
  if (errno != 0) return ": " + platform::errorText(errno);
  const auto free = platform::freeDiskBytes(path.c_str());
  if (free && *free <= needed) return ": " + platform::errorText(ENOSPC);
  return "";
}

}  // namespace

HostFormat HostFormat::fromRecord(const void* descriptor) {
  RecordBuffer record(kFormatDescriptorSize);
  std::memcpy(record.data(), descriptor, kFormatDescriptorSize);
  HostFormat format;
  format.width = record.u32(4);
  format.height = record.u32(8);
  format.guid = record.text(12, 100);
  format.rateNumerator = record.u32(112);
  format.rateDenominator = record.u32(116);
  format.frameBytes = record.u32(120);
  format.flags = record.u32(124);
  format.name = record.text(136, 100);
  format.bytes = record.bytes();
  return format;
}

const HostFormat& formatNamed(const std::vector<HostFormat>& formats, const std::string& name) {
  for (const HostFormat& format : formats)
    if (format.name == name) return format;
  throw std::runtime_error("the plug-in does not offer the format " + name);
}

ReadingFile::ReadingFile(const AvfileApi& api, const std::string& path) : api_(api), path_(path) {
  if (api_.AVFILE_OpenFileForRead(&handle_, const_cast<char*>(path.c_str())) == 0 || handle_ == nullptr)
    throw openFailure(path);
  RecordBuffer info(kReadingFileInfoSize);
  info.setU32(0, kReadingFileInfoSize);
  if (api_.AVFILE_GetReadingFileInfo(handle_, info.data()) == 0) {
    api_.AVFILE_CloseReadingFile(handle_);
    throw openFailure(path);
  }
  frameCount_ = info.u32(132);
  formats_ = formatTable(info.address(140), info.u32(144));
}

ReadingFile::~ReadingFile() { api_.AVFILE_CloseReadingFile(handle_); }

void ReadingFile::readFrame(std::uint32_t n, const HostFormat& format, std::span<std::uint8_t> buffer) {
  RecordBuffer request(kReadFrameRequestSize);
  request.setU32(0, kReadFrameRequestSize);
  request.setU32(4, n);
  request.setAddress(12, buffer.data());
  request.setU32(16, static_cast<std::uint32_t>(buffer.size()));
  std::memcpy(static_cast<std::uint8_t*>(request.data()) + 20, format.bytes.data(), kFormatDescriptorSize);
  if (api_.AVFILE_ReadImageFrame(handle_, request.data()) == 0)
    throw std::runtime_error("frame " + std::to_string(n) + " of " + path_ + " cannot be read as " +
                             format.name);
}

std::vector<HostFormat> acceptedWritingFormats(const AvfileApi& api) {
  RecordBuffer info(kWritingFileInfoSize);
  if (api.AVFILE_GetWritingFileInfo(nullptr, info.data()) == 0)
    throw std::runtime_error("the plug-in gave no writing formats");
  return formatTable(info.address(4), info.u32(8));
}

WritingFile::WritingFile(const AvfileApi& api, const std::string& path, const std::string& shownAs)
    : api_(api), path_(path), shown_(shownAs.empty() ? path : shownAs) {
  RecordBuffer request(kOpenWriteRequestSize);
  request.setU32(0, kOpenWriteRequestSize);
  request.setAddress(4, path_.c_str());
  errno = 0;
  const AvResult created = api_.AVFILE_OpenFileForWrite(&handle_, request.data());
  if (created == 0) {
    // The plug-in hands out its handle even when the file cannot be made.
    if (handle_ != nullptr) api_.AVFILE_CloseFileForWrite(handle_);
    handle_ = nullptr;
    throw std::runtime_error("cannot create " + shown_ + writeFailureReason(path_, 0));
  }
}

WritingFile::~WritingFile() {
  if (handle_ != nullptr) api_.AVFILE_CloseFileForWrite(handle_);
}

void WritingFile::writeFrame(const HostFormat& format, std::span<std::uint8_t> frame) {
  RecordBuffer record(kVideoFrameSize);
  record.setAddress(8, frame.data());
  record.setText(28, format.guid);
  record.setU32(136, static_cast<std::uint32_t>(frame.size()));
  errno = 0;
  if (api_.AVFILE_WriteNextVideoFrame(handle_, record.data()) == 0)
    // The plug-in writes a converted frame behind the call, so the failure
    // may be the previous frame's: say where it came, not which frame failed.
    throw std::runtime_error("writing " + shown_ + " failed at frame " + std::to_string(written_) +
                             writeFailureReason(path_, frame.size()));
  ++written_;
}

void WritingFile::close() {
  void* handle = handle_;
  handle_ = nullptr;
  errno = 0;
  if (api_.AVFILE_CloseFileForWrite(handle) == 0) {
    const std::string reason = writeFailureReason(path_, 0);
    // A close that reported a failed write keeps the handle; the file is
    // closed by then, and a second close frees the handle.
    api_.AVFILE_CloseFileForWrite(handle);
    throw std::runtime_error("cannot finish " + shown_ + reason);
  }
}

}  // namespace corvane::host
