// Shared pieces of the file input and file output black-box tests: running
// checks in a child with the plug-in loaded, and the host records of the two
// services built byte by byte from their offsets.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "abi/plugin_process.h"

namespace corvane::abi {

inline constexpr std::uint8_t kHostFill = 0xA5;
inline constexpr const char* kGuid422 = "349FC923-CAEA-11d1-818D-00A0C96E62CA";
inline constexpr const char* kGuid444 = "FD404F01-5A1C-11d2-818D-00A0C96E62CA";
inline constexpr const char* kGuidRgba = "575CE120-C7B3-11d0-AA07-000094753D70";

// Runs checks in a child that loaded the plug-in with env; gtest failures in
// the child become its exit code (0 when all held).
inline int checkWithPlugin(const std::map<std::string, std::string>& env,
                           const std::function<void(const host::AvfileApi&)>& checks) {
  const ChildOutcome outcome = runWithPlugin(env, [&](const host::AvfileApi& api) {
    checks(api);
    return ::testing::Test::HasFailure() ? 3 : 0;
  });
  return outcome.exited ? outcome.exitCode : 100 + outcome.signal;
}

// A buffer whose data() is aligned to align plus shift bytes, so tests can
// hand the plug-in both page-aligned and deliberately misaligned frames.
class HostBuffer {
 public:
  HostBuffer(std::size_t size, std::size_t shift, std::uint8_t fill = kHostFill)
      : storage_(static_cast<std::uint8_t*>(std::aligned_alloc(4096, (size + shift + 4095) / 4096 * 4096))),
        data_(storage_.get() + shift),
        size_(size) {
    std::memset(data_, fill, size);
  }
  std::uint8_t* data() const { return data_; }
  std::size_t size() const { return size_; }
  std::uint8_t& operator[](std::size_t i) const { return data_[i]; }
  std::uint32_t u32(std::size_t at) const {
    return data_[at] | data_[at + 1] << 8 | data_[at + 2] << 16 |
           static_cast<std::uint32_t>(data_[at + 3]) << 24;
  }

 private:
  struct Free {
    void operator()(std::uint8_t* p) const { std::free(p); }
  };
  std::unique_ptr<std::uint8_t, Free> storage_;
  std::uint8_t* data_;
  std::size_t size_;
};

// ReadFrameRequest: frame n into buffer, the requested format naming guid.
inline host::RecordBuffer readRequest(std::uint32_t n, const HostBuffer& buffer, std::uint32_t bufferSize,
                                      const std::string& guid) {
  host::RecordBuffer request(492, kHostFill);
  request.setU32(0, 492);
  request.setU32(4, n);
  request.setAddress(12, buffer.data());
  request.setU32(16, bufferSize);
  request.setU32(20, 236);
  request.setText(20 + 12, guid);
  request.setU32(20 + 112, 7);
  request.setU32(20 + 116, 3);
  request.setU32(20 + 120, bufferSize);
  request.setText(20 + 136, "host's name");
  return request;
}

// The open request of AVFILE_OpenFileForWrite; it points at path, which must
// outlive it.
inline host::RecordBuffer openWriteRequest(const std::string& path) {
  host::RecordBuffer request(592, kHostFill);
  request.setU32(0, 592);
  request.setAddress(4, path.c_str());
  return request;
}

// One frame for AVFILE_WriteNextVideoFrame.
inline host::RecordBuffer videoFrame(const HostBuffer& data, std::uint32_t size, const std::string& guid) {
  host::RecordBuffer frame(140, kHostFill);
  frame.setAddress(8, data.data());
  frame.setText(28, guid);
  frame.setU32(136, size);
  return frame;
}

}  // namespace corvane::abi
