// The output device as a host sees it: its records byte for byte, the frame
// buffers, what reaches the board (its call log, output= and shown= files),
// the order and earliest time of every shown frame.
#include <gtest/gtest.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "abi/file_services_harness.h"
#include "support/fake_programs.h"
#include "support/system.h"

namespace corvane::abi {
namespace {

constexpr std::uint32_t kBufferRecord = 496;
constexpr std::size_t kQvfData = 512;  // the first frame block of the output= file

std::uint64_t monotonicMicros() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000000 + static_cast<std::uint64_t>(now.tv_nsec) / 1000;
}

// One line of the shown= file.
struct Shown {
  std::uint64_t n, time;
  std::string hash;
};

class Sink : public FileServices {
 protected:
  // Runs body in a child that loaded the plug-in with the board's extra
  // settings (and env's), between the output interface's query and close.
  void inPlugin(const std::string& board, const std::map<std::string, std::string>& env,
                const std::function<void(const AvfileApi&)>& body) {
    std::string settings =
        "log=" + box_.boardLog().string() + ",output=" + at("out.qvf") + ",shown=" + at("shown.txt");
    if (!board.empty()) settings += "," + board;
    std::map<std::string, std::string> all = env;
    all["CORVANE_BOARD"] = settings;
    inPluginWith(box_.environment(all), [&](const AvfileApi& api) {
      RecordBuffer descriptor(324);
      descriptor.setU32(0, 324);
      EXPECT_EQ(api.AVFILE_QueryInterfaceSink(descriptor.data()), 1);
      body(api);
      EXPECT_EQ(api.AVFILE_CloseInterfaceSink(nullptr), 1);
    });
  }
  // The same with a device open around checks.
  void inDevice(const std::string& board, const std::function<void(const AvfileApi&, void*)>& checks) {
    inPlugin(board, {}, [&](const AvfileApi& api) {
      void* handle = open(api);
      checks(api, handle);
      EXPECT_EQ(api.AVFILE_CloseSink(handle), 1);
    });
  }
  void SetUp() override { setIni("VeltrixScryOut=0\n"); }

  void setIni(const std::string& keys) {
    std::filesystem::create_directories(box_.configDir());
    box_.writeFile(box_.iniPath(), "[VideoCorvane Configuration]\n" + keys);
  }

  void* open(const AvfileApi& api) {
    chosen_ = RecordBuffer(236, 0x5C);
    hostStructure_ = RecordBuffer(24, 0);
    hostStructure_.setU32(20, 0xC0FFEE20);
    params_ = RecordBuffer(52, 0xA5);
    for (std::size_t at : {16u, 20u, 32u, 36u}) params_.setU32(at, 0x1000 + at);
    params_.setAddress(24, chosen_.data());
    params_.setAddress(48, hostStructure_.data());
    void* handle = nullptr;
    EXPECT_EQ(api.AVFILE_OpenSink(&handle, params_.data()), 1);
    return handle;
  }

  // A buffer record for format guid, filled by SinkGetEmptyBuffer.
  static RecordBuffer take(const AvfileApi& api, void* handle, const std::string& guid) {
    RecordBuffer record(kBufferRecord, 0);
    record.setU32(0, kBufferRecord);
    record.setText(20, guid);
    EXPECT_EQ(api.AVFILE_SinkGetEmptyBuffer(handle, record.data()), 1);
    return record;
  }
  static std::uint8_t* data(const RecordBuffer& record) {
    return static_cast<std::uint8_t*>(record.address(480));
  }
  static std::int32_t add(const AvfileApi& api, void* handle, RecordBuffer& record, std::int64_t time,
                          std::uint32_t flags = 0) {
    record.setU32(472, static_cast<std::uint32_t>(time));
    record.setU32(476, static_cast<std::uint32_t>(static_cast<std::uint64_t>(time) >> 32));
    record.setU32(4, flags);
    return api.AVFILE_SinkAddFullBuffer(handle, record.data());
  }
  // Takes a 4:2:2 buffer, fills it with value and queues it at time.
  static std::uint8_t* queueFilled(const AvfileApi& api, void* handle, std::uint8_t value,
                                   std::int64_t time) {
    RecordBuffer record = take(api, handle, kGuid422);
    std::memset(data(record), value, record.u32(484));
    EXPECT_EQ(add(api, handle, record, time), 1);
    return data(record);
  }

  std::vector<Shown> shown() const {
    std::vector<Shown> lines;
    std::istringstream in(box_.readFile(at("shown.txt")));
    for (Shown s; in >> s.n >> s.time >> s.hash;) lines.push_back(s);
    return lines;
  }
  // Bytes of the output= file from the first frame block on.
  std::string outputFrames() const { return box_.readFile(at("out.qvf")).substr(kQvfData); }
  std::size_t logCount(const std::string& line) const {
    std::size_t count = 0;
    for (const std::string& l : box_.readLines(box_.boardLog())) count += l == line ? 1 : 0;
    return count;
  }

  RecordBuffer chosen_{236}, hostStructure_{24}, params_{52};
};

TEST_F(Sink, OpenFillsTheRecordAndHandsOutASignalledEvent) {
  inDevice("", [&](const AvfileApi& api, void* handle) {
    ASSERT_NE(handle, nullptr);
    RecordBuffer record(976);
    std::memcpy(record.data(), handle, 976);
    EXPECT_EQ(record.u32(0), 0u) << "the size word waits for the start";
    struct Offered {
      std::size_t at;
      const char* guid;
      std::uint32_t bytes, flags;
    };
    for (const Offered& f : {Offered{4, kGuid422, 691204, 0x812}, Offered{240, kGuid444, 1382400, 0x110},
                             Offered{476, kGuidRgba, 1382400, 0x100}}) {
      EXPECT_EQ(words(record, {f.at, f.at + 4, f.at + 8, f.at + 112, f.at + 116, f.at + 120, f.at + 124}),
                (std::vector<std::uint32_t>{236, 720, 480, 29970026, 1000000, f.bytes, f.flags}));
      EXPECT_EQ(record.text(f.at + 12, 100), f.guid);
      EXPECT_EQ(record.text(f.at + 136, 100), "") << "no display name";
    }
    // Copied from the host's open record and structure.
    EXPECT_EQ(words(record, {712, 716, 956, 960, 964}),
              (std::vector<std::uint32_t>{0xC0FFEE20, 0x1024, 0x1010, 0x1014, 0x1020}));
    EXPECT_EQ(std::memcmp(static_cast<std::uint8_t*>(handle) + 720, chosen_.data(), 236), 0);
    const std::uint32_t event = record.u32(968);
    EXPECT_NE(event, 0u);
    EXPECT_EQ(params_.u32(40), event);
    EXPECT_TRUE(corvane::testing::eventSignalled(event)) << "made signalled";
    EXPECT_EQ(record.u32(972), 0u) << "no preview wanted";

    EXPECT_EQ(api.AVFILE_QueueSink(handle), 1);
    EXPECT_EQ(api.AVFILE_QueueSink(nullptr), 0);
    EXPECT_EQ(api.AVFILE_StartSink(handle), 1);
    std::memcpy(record.data(), handle, 4);
    EXPECT_EQ(record.u32(0), 976u);
    EXPECT_EQ(api.AVFILE_StopSink(handle), 1);
  });
  EXPECT_NE(box_.readFile(box_.iniPath()).find("VeltrixScryOut=0"), std::string::npos);
}

TEST_F(Sink, InfoAnswersItsAbilitiesAndPointsAtTheOfferedFormats) {
  for (const auto& [force, abilities] : {std::pair{"0", 0x28u}, std::pair{"1", 0xA8u}}) {
    setIni(std::string("VeltrixScryOut=0\nForceNoFrameDrop=") + force + "\n");
    inDevice("", [&, abilities = abilities](const AvfileApi& api, void* handle) {
      RecordBuffer info(1068, kHostFill);
      EXPECT_EQ(api.AVFILE_GetSinkInfo(handle, info.data()), 1);
      // The size word is the host's.
      EXPECT_EQ(words(info, {0, 4, 8, 16, 28, 1056, 1060, 1064}),
                (std::vector<std::uint32_t>{kUnwritten, abilities, 8, 3, 2, 0, 0, 0}));
      EXPECT_EQ(info.address(12), static_cast<std::uint8_t*>(handle) + 4);
      EXPECT_EQ(api.AVFILE_GetSinkInfo(nullptr, info.data()), 0);
      EXPECT_EQ(api.AVFILE_GetSinkInfo(handle, nullptr), 0);
    });
  }
}

TEST_F(Sink, BufferRecordsAreCheckedAndDescribeTheFrame) {
  inDevice("", [&](const AvfileApi& api, void* handle) {
    RecordBuffer small(kBufferRecord, 0);
    small.setU32(0, kBufferRecord - 1);
    small.setText(20, kGuid422);
    EXPECT_EQ(api.AVFILE_SinkGetEmptyBuffer(handle, small.data()), 0);
    EXPECT_EQ(api.AVFILE_SinkAddFullBuffer(handle, small.data()), 0);
    EXPECT_EQ(small.u32(12), 0u) << "nothing written into a short record";
    EXPECT_EQ(api.AVFILE_SinkGetEmptyBuffer(nullptr, small.data()), 0);

    std::string lower = kGuid422;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    RecordBuffer frame = take(api, handle, lower);
    EXPECT_EQ(words(frame, {12, 16, 128, 484, 4}),
              (std::vector<std::uint32_t>{720, 480, 691204, 691204, 0x812}));
    EXPECT_NE(data(frame), nullptr);

    RecordBuffer unknown(kBufferRecord, 0);
    unknown.setU32(0, kBufferRecord);
    unknown.setText(20, "no such format");
    unknown.setU32(4, 0x77);
    unknown.setU32(128, 1234);
    EXPECT_EQ(api.AVFILE_SinkGetEmptyBuffer(handle, unknown.data()), 1);
    EXPECT_EQ(unknown.u32(4), 0x77u) << "an unknown format keeps the host's words";
    EXPECT_EQ(unknown.u32(484), 1234u);
    EXPECT_EQ(add(api, handle, unknown, 1000), 1) << "taken back, not queued";
    EXPECT_EQ(data(take(api, handle, kGuid444)), data(unknown)) << "the last buffer back is the next out";

    // Refused frames go back to the pool too, and the call answers 0.
    EXPECT_EQ(add(api, handle, frame, -1), 0);
    EXPECT_EQ(data(take(api, handle, kGuid422)), data(frame));
    EXPECT_EQ(add(api, handle, frame, 5000, 1), 0);
    EXPECT_EQ(data(take(api, handle, kGuid422)), data(frame));
    RecordBuffer none = frame;
    none.setAddress(480, nullptr);
    EXPECT_EQ(add(api, handle, none, 5000), 0);
  });
  EXPECT_EQ(logCount("SubmitOutputFrame 1"), 0u);
}

TEST_F(Sink, AFrameForNowLowersPeaksAndReplacesWhatWaits) {
  inDevice("", [&](const AvfileApi& api, void* handle) {
    std::uint8_t* later = queueFilled(api, handle, 255, 40000);
    EXPECT_EQ(later[0], 255) << "a frame for later keeps its peaks";
    RecordBuffer record = take(api, handle, kGuid422);
    std::uint8_t* now = data(record);
    std::memset(now, 255, record.u32(484) + 8);
    ASSERT_EQ(add(api, handle, record, 0), 1);
    EXPECT_EQ(now[0], 254);
    EXPECT_EQ(now[691203], 254) << "the trailer word is in the last group";
    EXPECT_EQ(now[691204], 255) << "nothing past the data";
    // The flushed frame is free again, below the buffers that were free before.
    std::vector<RecordBuffer> taken;
    for (int i = 0; i < 18; ++i) taken.push_back(take(api, handle, kGuid422));
    for (const RecordBuffer& other : taken) EXPECT_NE(data(other), later);
    RecordBuffer last = take(api, handle, kGuid422);
    EXPECT_EQ(data(last), later);
    taken.push_back(last);
    for (RecordBuffer& back : taken) EXPECT_EQ(add(api, handle, back, -1), 0);

    RecordBuffer pixels = take(api, handle, kGuid444);
    std::memset(data(pixels), 255, pixels.u32(484));
    ASSERT_EQ(add(api, handle, pixels, 0), 1);
    EXPECT_EQ(std::vector<int>(data(pixels), data(pixels) + 8),
              (std::vector<int>{254, 254, 254, 255, 254, 254, 254, 255}));
    EXPECT_EQ(api.AVFILE_StartSink(handle), 1);
    EXPECT_EQ(api.AVFILE_StopSink(handle), 1);
  });
  EXPECT_EQ(shown().size(), 1u) << "the 4:2:2 frame for now was replaced by the 4:4:4 one";
}

TEST_F(Sink, TwentyBuffersWhileStoppedAndTheNextAfterAFrameIsOut) {
  inDevice("output_frames=40", [&](const AvfileApi& api, void* handle) {
    for (int i = 0; i < 20; ++i) queueFilled(api, handle, static_cast<std::uint8_t>(i), 1000 * (i + 1));
    std::atomic<bool> returned{false};
    std::size_t shownWhenReturned = 0;
    std::thread taker([&] {
      take(api, handle, kGuid422);
      shownWhenReturned = shown().size();
      returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(returned) << "all 20 buffers are queued and playback is stopped";
    EXPECT_EQ(api.AVFILE_StartSink(handle), 1);
    taker.join();
    EXPECT_GE(shownWhenReturned, 1u);
    EXPECT_EQ(api.AVFILE_StopSink(handle), 1);
  });
  EXPECT_EQ(shown().size(), 20u);
}

TEST_F(Sink, ConversionsReachTheOutputFile) {
  std::string frame422(691204, '\0');
  for (std::size_t i = 0; i < frame422.size(); ++i) frame422[i] = static_cast<char>(i * 7 % 251);
  inDevice("", [&](const AvfileApi& api, void* handle) {
    RecordBuffer same = take(api, handle, kGuid422);
    std::memcpy(data(same), frame422.data(), frame422.size());
    ASSERT_EQ(add(api, handle, same, 1), 1);

    RecordBuffer pixels = take(api, handle, kGuid444);
    std::memset(data(pixels), 0, pixels.u32(484));
    const std::uint8_t two[] = {10, 20, 30, 40, 11, 21, 31, 41};
    std::memcpy(data(pixels), two, sizeof two);
    ASSERT_EQ(add(api, handle, pixels, 2), 1);
    EXPECT_EQ(api.AVFILE_StartSink(handle), 1);
    EXPECT_EQ(api.AVFILE_StopSink(handle), 1);
  });
  const std::string out = outputFrames();
  ASSERT_EQ(out.size(), 2u * 691200);
  EXPECT_EQ(out.compare(0, 691200, frame422, 0, 691200), 0) << "4:2:2 unchanged";
  EXPECT_EQ(out.substr(691200, 4), std::string("\x14\x0a\x1e\x0b"));
  EXPECT_EQ(box_.readFile(at("out.qvf")).substr(0, 4), "FMTR");
}

TEST_F(Sink, RgbaIsTurnedRightSideUpIntoFields) {
  setIni("VeltrixScryOut=0\nVideoMode=0\n");
  inDevice("", [&](const AvfileApi& api, void* handle) {
    RecordBuffer pixels = take(api, handle, kGuidRgba);
    ASSERT_EQ(pixels.u32(484), 720u * 576 * 4);
    std::memset(data(pixels), 128, pixels.u32(484));
    std::memset(data(pixels) + 575u * 2880, 255, 2880);  // image line 0: white
    std::memset(data(pixels) + 574u * 2880, 0, 2880);    // image line 1: black
    ASSERT_EQ(add(api, handle, pixels, 1), 1);
    EXPECT_EQ(api.AVFILE_StartSink(handle), 1);
    EXPECT_EQ(api.AVFILE_StopSink(handle), 1);
  });
  const std::string out = outputFrames();
  ASSERT_EQ(out.size(), 720u * 576 * 2);
  auto luma = [&](std::size_t line) { return static_cast<std::uint8_t>(out[line * 1440 + 1]); };
  EXPECT_GE(luma(0), 234) << "line 0 from the last row";
  EXPECT_LE(luma(288), 17) << "the second field starts with the row above";
  EXPECT_GT(luma(1), 17);
  EXPECT_LT(luma(1), 234);
}

TEST_F(Sink, FramesComeOutInQueueOrderNeverEarly) {
  inDevice("", [&](const AvfileApi& api, void* handle) {
    queueFilled(api, handle, 50, 5000);
    queueFilled(api, handle, 60, 1000);
    queueFilled(api, handle, 70, 40000);
    const std::uint64_t before = monotonicMicros();
    EXPECT_EQ(api.AVFILE_StartSink(handle), 1);
    EXPECT_EQ(api.AVFILE_StopSink(handle), 1);
    const std::vector<Shown> lines = shown();
    ASSERT_EQ(lines.size(), 3u) << "stop waits until the queue is drained";
    EXPECT_GE(lines[2].time, before + 40000);
    EXPECT_GE(lines[1].time, lines[0].time);
  });
  const std::string out = outputFrames();
  ASSERT_EQ(out.size(), 3u * 691200);
  EXPECT_EQ(out[0], 50);
  EXPECT_EQ(out[691200], 60);
  EXPECT_EQ(out[2 * 691200], 70);
}

TEST_F(Sink, CloseWaitsForEveryQueuedFrame) {
  inDevice("", [&](const AvfileApi& api, void* handle) {
    EXPECT_EQ(api.AVFILE_StartSink(handle), 1);
    for (int i = 1; i <= 3; ++i) queueFilled(api, handle, static_cast<std::uint8_t>(i), 40000 * i);
  });
  EXPECT_EQ(shown().size(), 3u);
}

TEST_F(Sink, ARefusingBoardCostsFifteenAttemptsAFrame) {
  inDevice("refuse_output=1", [&](const AvfileApi& api, void* handle) {
    queueFilled(api, handle, 1, 1);
    queueFilled(api, handle, 2, 2);
    EXPECT_EQ(api.AVFILE_StartSink(handle), 1);
    EXPECT_EQ(api.AVFILE_StopSink(handle), 1);
    for (int i = 0; i < 20; ++i) take(api, handle, kGuid422);  // every buffer came back
  });
  EXPECT_EQ(logCount("AcquireOutputFrame 0"), 30u);
  EXPECT_EQ(logCount("SubmitOutputFrame 0"), 0u);
  EXPECT_EQ(shown().size(), 0u);
  EXPECT_EQ(outputFrames(), "");
}

class SinkPreview : public Sink {
 protected:
  void SetUp() override { setIni(""); }
  // Opens and closes a device with program as the only ScryOut on PATH;
  // check gets, in the child, the preview address the record held and how
  // long the close took.
  using Check = std::function<void(std::uint32_t preview, std::chrono::milliseconds closing)>;
  void openAndClose(const std::string& program, const Check& check, bool endsFirst = false) {
    std::filesystem::create_directories(box_.dir() / "bin");
    if (!program.empty()) corvane::testing::writeScript((box_.dir() / "bin" / "ScryOut").string(), program);
    inPlugin("", {{"PATH", (box_.dir() / "bin").string() + ":/usr/bin:/bin"}}, [&](const AvfileApi& api) {
      void* handle = open(api);
      RecordBuffer record(976);
      std::memcpy(record.data(), handle, 976);
      const std::uint32_t preview = record.u32(972);
      if (!program.empty()) {
        ASSERT_TRUE(corvane::testing::eventually([&] { return std::filesystem::exists(at("pid")); }));
      }
      if (endsFirst) {
        ASSERT_TRUE(corvane::testing::eventually([&] { return ended(); }));
      }
      const auto start = std::chrono::steady_clock::now();
      EXPECT_EQ(api.AVFILE_CloseSink(handle), 1);
      check(preview,
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start));
    });
  }
  std::string key() const {
    const std::string ini = box_.readFile(box_.iniPath());
    const std::size_t at = ini.find("VeltrixScryOut=");
    return at == std::string::npos ? "" : ini.substr(at + 15, 1);
  }
  // Ended and not yet reaped.
  bool ended() const {
    const std::string stat = box_.readFile("/proc/" + box_.readFile(at("pid")) + "/stat");
    return stat.find(") Z") != std::string::npos;
  }
  bool running() const { return std::filesystem::exists("/proc/" + box_.readFile(at("pid"))); }
  std::string script(const std::string& onTerm) const {
    return "echo -n $$ > '" + at("pid") + "'\ntrap '" + onTerm + "' TERM\nwhile :; do sleep 0.05; done";
  }
};

TEST_F(SinkPreview, AProgramThatClosesOnRequestEndsByItself) {
  openAndClose(script("echo > " + at("closed") + "; exit 0"),
               [](std::uint32_t preview, std::chrono::milliseconds) { EXPECT_NE(preview, 0u); });
  EXPECT_TRUE(std::filesystem::exists(at("closed")));
  EXPECT_FALSE(running());
  EXPECT_EQ(key(), "1") << "it still ran at the close";
}

TEST_F(SinkPreview, AProgramThatIgnoresTheRequestIsKilledAfterASecond) {
  openAndClose(script(""), [](std::uint32_t preview, std::chrono::milliseconds closing) {
    EXPECT_NE(preview, 0u);
    EXPECT_GE(closing, std::chrono::milliseconds(1000));
  });
  EXPECT_FALSE(running());
  EXPECT_EQ(key(), "1");
}

TEST_F(SinkPreview, AProgramGoneBeforeTheCloseTurnsThePreviewOffForTheNextOpen) {
  openAndClose(
      "echo -n $$ > '" + at("pid") + "'",
      [](std::uint32_t preview, std::chrono::milliseconds) { EXPECT_NE(preview, 0u); }, true);
  EXPECT_EQ(key(), "0");
  openAndClose("", [](std::uint32_t preview, std::chrono::milliseconds) { EXPECT_EQ(preview, 0u); });
  EXPECT_EQ(key(), "0");
}

TEST_F(SinkPreview, NoProgramOnThePathFailsTheOpenWithItsMessage) {
  std::filesystem::create_directories(box_.dir() / "bin");
  inPlugin("", {{"PATH", (box_.dir() / "bin").string()}}, [&](const AvfileApi& api) {
    void* handle = nullptr;
    RecordBuffer params(52, 0);
    EXPECT_EQ(api.AVFILE_OpenSink(&handle, params.data()), 0);
    EXPECT_EQ(handle, nullptr) << "the record of a failed open is taken back";
  });
  EXPECT_EQ(
      box_.readFile(box_.messageLog()),
      "AVFILE_OpenSink\tCould not launch the application. Your Corvane installation is probably corrupted\n");
  box_.writeFile(box_.messageLog(), "");
}

}  // namespace
}  // namespace corvane::abi
