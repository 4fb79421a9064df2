// Shared pieces of the record device's black-box tests: a fixture that runs a
// host in a child with the plug-in loaded on a configured virtual board, the
// recording records built byte by byte, and readers of what a take left (the
// record file, the board's log, the take report).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "abi/file_services_harness.h"
#include "platform/dynamic_library.h"
#include "support/system.h"

namespace corvane::abi {

inline constexpr std::uint32_t kNtscFrame = 2 * kField;
inline constexpr std::uint32_t kNoTake = 0xFFFFFFFF;

class RecordingHost : public FileServices {
 protected:
  // A stand-in input preview on PATH: notes its process id in previews, then
  // waits to be stopped.
  RecordingHost() {
    std::filesystem::create_directories(box_.dir() / "bin");
    std::filesystem::copy_file(CORVANE_STAND_IN_PATH, box_.dir() / "bin" / ("ScryIn" CORVANE_EXE_SUFFIX),
                               std::filesystem::copy_options::overwrite_existing);
  }
  // CORVANE_BOARD gets the log and then board; the take report goes to report().
  void inPluginOn(const std::string& board, const std::function<void(const AvfileApi&)>& checks) {
    inPluginWith(environmentFor(board), checks);
  }
  std::map<std::string, std::string> environmentFor(const std::string& board) const {
    return box_.environment({{"CORVANE_BOARD", "log=" + box_.boardLog().string() + "," + board},
                             {"CORVANE_RECORD_REPORT", report()},
                             {"CORVANE_STAND_IN_LOG", at("previews")},
                             {"PATH", at("bin") + corvane::testing::pathListSeparator() +
                                          corvane::testing::environmentValue("PATH").value_or("")}});
  }
  std::string report() const { return at("takes.report"); }
  // The board's input plays a clip of kClipFrames frames over and over.
  static constexpr std::uint32_t kClipFrames = 4;
  std::string clipBoard(const std::string& settings) {
    writeQvfClip(at("clip.qvf"), 240, kClipFrames, kNtscFieldRateBits);
    return "input=" + at("clip.qvf") + "," + settings;
  }

  static void* openDevice(const AvfileApi& api) {
    void* device = nullptr;
    RecordBuffer params(480, kHostFill);
    params.setU32(0, 480);
    EXPECT_EQ(api.AVFILE_OpenRecording(&device, params.data()), 1);
    return device;
  }
  // The module handle the host was given: the library's load address.
  static std::uint32_t moduleHandle(const AvfileApi& api) {
    return static_cast<std::uint32_t>(
        platform::moduleBaseOf(reinterpret_cast<const void*>(api.AVFILE_OpenRecording)));
  }
  static RecordBuffer fileParams(const AvfileApi& api, const char* path, std::uint32_t limit) {
    RecordBuffer params(32, kHostFill);
    params.setU32(0, 32);
    params.setU32(8, limit);
    params.setU32(16, moduleHandle(api));
    params.setAddress(20, path);
    return params;
  }
  static std::int32_t addFile(const AvfileApi& api, void* device, const char* path, std::uint32_t limit = 0) {
    RecordBuffer params = fileParams(api, path, limit);
    return api.AVFILE_AddRecordingFile(device, params.data());
  }
  struct Position {
    std::int32_t answer;
    std::uint32_t frames;
  };
  static Position position(const AvfileApi& api, void* device) {
    RecordBuffer record(8, kHostFill);
    record.setU32(0, 8);
    const std::int32_t answer = api.AVFILE_GetPositionRecording(device, record.data());
    return {answer, record.u32(4)};
  }
  // A take on the virtual board reaches any position a test waits for well
  // within this; past it the test fails with what it saw instead of hanging.
  static constexpr auto kWaitBound = std::chrono::seconds(30);
  // Polls until the position reaches frames or the query answers 0.
  static Position waitForPosition(const AvfileApi& api, void* device, std::uint32_t frames) {
    const auto deadline = std::chrono::steady_clock::now() + kWaitBound;
    for (;;) {
      const Position now = position(api, device);
      if (now.answer == 0 || now.frames >= frames) return now;
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "waited 30 s for position " << frames << "; it stands at " << now.frames
                      << " and the query answers " << now.answer;
        return now;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  // The board log's numbers: the answers of CurrentFrameCount, and every
  // delivered field with whether it came back.
  struct Delivered {
    std::uint32_t id, count, parity;
  };
  struct BoardRecord {
    std::vector<std::uint32_t> counts;
    std::vector<Delivered> fields;
    std::vector<std::uint32_t> returned;  // ids in order
  };
  BoardRecord boardRecord() const {
    BoardRecord record;
    for (const std::string& line : box_.readLines(box_.boardLog())) {
      unsigned a = 0, b = 0, c = 0;
      if (std::sscanf(line.c_str(), "CurrentFrameCount %u", &a) == 1) record.counts.push_back(a);
      if (std::sscanf(line.c_str(), "deliver %u %u %u", &a, &b, &c) == 3) record.fields.push_back({a, b, c});
      if (std::sscanf(line.c_str(), "ReturnInputFrame %u %u", &a, &b) == 2) record.returned.push_back(b);
    }
    return record;
  }
  // Waits until the board has delivered fields whose count is above count.
  void waitForDeliveriesAfter(std::uint32_t count, std::size_t fields) const {
    const auto after = [&](const Delivered& d) { return d.count > count; };
    const auto deadline = std::chrono::steady_clock::now() + kWaitBound;
    for (;;) {
      const BoardRecord record = boardRecord();
      const auto seen =
          static_cast<std::size_t>(std::count_if(record.fields.begin(), record.fields.end(), after));
      if (seen >= fields) return;
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "waited 30 s for " << fields << " fields after count " << count
                      << "; the board delivered " << seen << " of them (" << record.fields.size()
                      << " in all)";
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  // The record file's frames, each both fields as written.
  std::vector<std::string> recordedFrames(const std::string& path,
                                          std::uint32_t frameBytes = kNtscFrame) const {
    const std::string bytes = box_.readFile(path);
    std::vector<std::string> frames;
    for (std::size_t at = 512; at + frameBytes <= bytes.size(); at += frameBytes)
      frames.push_back(bytes.substr(at, frameBytes));
    return frames;
  }
  // Field f of clip frame n as writeQvfClip made it.
  static std::string clipField(std::uint32_t n, std::uint32_t f, std::uint32_t fieldBytes = kField) {
    std::string field(fieldBytes, '\0');
    for (std::size_t i = 0; i < fieldBytes; ++i) field[i] = static_cast<char>(clipByte(n, f, i));
    return field;
  }
  // The report's last line as cause -> count ("written" included).
  std::map<std::string, std::uint32_t> lastTake() const {
    std::map<std::string, std::uint32_t> take;
    const std::vector<std::string> lines = box_.readLines(report());
    if (lines.empty()) return take;
    std::istringstream in(lines.back());
    for (std::string item; in >> item;) {
      const std::size_t equals = item.find('=');
      take[item.substr(0, equals)] = static_cast<std::uint32_t>(std::stoul(item.substr(equals + 1)));
    }
    return take;
  }
};

}  // namespace corvane::abi
