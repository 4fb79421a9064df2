// QVF files as a host sees them through the plug-in's file input and file
// output exports: a reading file with its offered formats, and a writing
// file that takes frames in any accepted format. Failures are thrown as
// std::runtime_error with a one-line reason.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "host/avfile_api.h"

namespace corvane::host {

// One FormatDescriptor as the plug-in filled it.
struct HostFormat {
  std::string name;
  std::string guid;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t rateNumerator = 0;
  std::uint32_t rateDenominator = 0;
  std::uint32_t frameBytes = 0;
  std::uint32_t flags = 0;
  std::vector<std::uint8_t> bytes;  // the 236-byte record

  static HostFormat fromRecord(const void* descriptor);
};

// The format of a list by display name ("4:2:2", "4:4:4", "RGBA-32").
const HostFormat& formatNamed(const std::vector<HostFormat>& formats, const std::string& name);

class ReadingFile {
 public:
  ReadingFile(const AvfileApi& api, const std::string& path);
  ~ReadingFile();
  ReadingFile(const ReadingFile&) = delete;
  ReadingFile& operator=(const ReadingFile&) = delete;

  std::uint32_t frameCount() const { return frameCount_; }
  const std::vector<HostFormat>& formats() const { return formats_; }
  // Frame n in format into buffer (at least format.frameBytes bytes).
  void readFrame(std::uint32_t n, const HostFormat& format, std::span<std::uint8_t> buffer);

 private:
  const AvfileApi& api_;
  std::string path_;
  void* handle_ = nullptr;
  std::uint32_t frameCount_ = 0;
  std::vector<HostFormat> formats_;
};

// The formats the file output accepts, in the load-time geometry and rate.
std::vector<HostFormat> acceptedWritingFormats(const AvfileApi& api);

class WritingFile {
 public:
  // Creates (or truncates) path through the plug-in; the name is used as
  // given, so it should already satisfy the plug-in's extension rule.
  // Errors name the file as shownAs (default: path).
  WritingFile(const AvfileApi& api, const std::string& path, const std::string& shownAs = "");
  // Closes the file if close() was not reached; errors are dropped here.
  ~WritingFile();
  WritingFile(const WritingFile&) = delete;
  WritingFile& operator=(const WritingFile&) = delete;

  // The plug-in may lower values in frame (its limiting happens in place).
  void writeFrame(const HostFormat& format, std::span<std::uint8_t> frame);
  void close();

 private:
  const AvfileApi& api_;
  std::string path_;
  std::string shown_;
  void* handle_ = nullptr;
  std::uint32_t written_ = 0;
};

}  // namespace corvane::host
