// Shared pieces of the file input and file output black-box tests: a fixture
// that runs checks in a child with the plug-in loaded, and the host records of
// the two services built byte by byte from their offsets.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "abi/plugin_process.h"
#include "abi/qvf_clip.h"

namespace corvane::abi {

using host::AvfileApi;
using host::RecordBuffer;

inline constexpr std::uint8_t kHostFill = 0xA5;
inline constexpr std::uint32_t kUnwritten = 0xA5A5A5A5;
inline constexpr const char* kGuid422 = "349FC923-CAEA-11d1-818D-00A0C96E62CA";
inline constexpr const char* kGuid444 = "FD404F01-5A1C-11d2-818D-00A0C96E62CA";
inline constexpr const char* kGuidRgba = "575CE120-C7B3-11d0-AA07-000094753D70";
inline constexpr std::uint32_t kField = 720 * 240 * 2;
inline constexpr std::uint32_t kFrame422 = 2 * kField + 4;  // two fields and the W x H word
inline constexpr std::uint32_t kFrame444 = 720 * 480 * 4;

// Checks run in a child that loaded the plug-in; its gtest failures become its
// exit code. No test may make the plug-in show a message box.
class FileServices : public ::testing::Test {
 protected:
  void inPlugin(const std::function<void(const AvfileApi&)>& checks) {
    inPluginWith(box_.environment(), checks);
  }
  void inPluginWith(const std::map<std::string, std::string>& env,
                    const std::function<void(const AvfileApi&)>& checks) {
    const ChildOutcome outcome = runWithPlugin(env, [&](const AvfileApi& api) {
      const int before = failedChecks();
      checks(api);
      return failedChecks() > before ? 3 : 0;
    });
    EXPECT_TRUE(outcome.exited && outcome.exitCode == 0) << outcome.exitCode << ", signal " << outcome.signal;
  }
  // Failed checks of the current test so far (a child may have run the test's
  // own checks again before its body).
  static int failedChecks() {
    const ::testing::TestResult* result = ::testing::UnitTest::GetInstance()->current_test_info()->result();
    int failed = 0;
    for (int i = 0; i < result->total_part_count(); ++i) failed += result->GetTestPartResult(i).failed();
    return failed;
  }
  void TearDown() override { EXPECT_EQ(box_.readFile(box_.messageLog()), ""); }
  std::string at(const std::string& name) const { return (box_.dir() / name).string(); }

  Sandbox box_;
};

inline std::vector<std::uint32_t> words(const RecordBuffer& record,
                                        std::initializer_list<std::size_t> offsets) {
  std::vector<std::uint32_t> out;
  for (std::size_t at : offsets) out.push_back(record.u32(at));
  return out;
}

inline RecordBuffer copyRecord(const void* from, std::size_t size) {
  RecordBuffer copy(size);
  std::memcpy(copy.data(), from, size);
  return copy;
}

inline void* openForRead(const AvfileApi& api, const std::string& path) {
  void* handle = nullptr;
  EXPECT_EQ(api.AVFILE_OpenFileForRead(&handle, const_cast<char*>(path.c_str())), 1) << path;
  return handle;
}

inline RecordBuffer readingFileInfo(const AvfileApi& api, void* handle) {
  RecordBuffer info(176, kHostFill);
  info.setU32(0, 176);
  EXPECT_EQ(api.AVFILE_GetReadingFileInfo(handle, info.data()), 1);
  return info;
}

// A buffer whose data() is page-aligned plus shift bytes, so tests can hand
// the plug-in both aligned and deliberately misaligned frames.
class HostBuffer {
 public:
  HostBuffer(std::size_t size, std::size_t shift, std::uint8_t fill = kHostFill)
      : storage_(static_cast<std::uint8_t*>(::operator new (size + shift, std::align_val_t{4096}))),
        data_(storage_.get() + shift) {
    std::memset(data_, fill, size);
  }
  std::uint8_t* data() const { return data_; }
  std::uint8_t& operator[](std::size_t i) const { return data_[i]; }
  std::uint32_t u32(std::size_t at) const {
    return data_[at] | data_[at + 1] << 8 | data_[at + 2] << 16 |
           static_cast<std::uint32_t>(data_[at + 3]) << 24;
  }

 private:
  struct Free {
    void operator()(std::uint8_t* p) const { ::operator delete (p, std::align_val_t{4096}); }
  };
  std::unique_ptr<std::uint8_t, Free> storage_;
  std::uint8_t* data_;
};

// ReadFrameRequest: frame n into buffer, the requested format naming guid.
inline RecordBuffer readRequest(std::uint32_t n, const HostBuffer& buffer, std::uint32_t bufferSize,
                                const std::string& guid) {
  RecordBuffer request(492, kHostFill);
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

// The open request of AVFILE_OpenFileForWrite; path must outlive it.
inline RecordBuffer openWriteRequest(const std::string& path) {
  RecordBuffer request(592, kHostFill);
  request.setU32(0, 592);
  request.setAddress(4, path.c_str());
  return request;
}

// One frame for AVFILE_WriteNextVideoFrame.
inline RecordBuffer videoFrame(const HostBuffer& data, std::uint32_t size, const std::string& guid) {
  RecordBuffer frame(140, kHostFill);
  frame.setAddress(8, data.data());
  frame.setText(28, guid);
  frame.setU32(136, size);
  return frame;
}

}  // namespace corvane::abi
