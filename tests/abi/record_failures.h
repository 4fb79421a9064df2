// corvane-host record meeting what a user's disk and hands do to a take, the
// part its tests share: the cases, and what each run must leave. Each run ends
// with a line that names the system's reason or the frames kept, an exit
// status that says whether the take is whole, and on disk either a valid take
// of whole frames or the older file, never a torn or empty one.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "abi/host_runner.h"
#include "abi/qvf_clip.h"

namespace corvane::abi {

inline constexpr std::uint64_t kTakeHeaderBytes = 512;
inline constexpr std::uint64_t kTakeFrameBytes = 2 * 720 * 240 * 2;
inline constexpr const char* kOlderTake = "the older take";

// Interrupt once a whole frame is in the take; InterruptAtOnce as soon as its
// partial file exists.
enum class During : std::uint8_t { Nothing, RemoveFolder, Interrupt, InterruptAtOnce };
// Where the folder of the take lives: the sandbox, or a tmpfs mounted in a
// mount namespace of the run's own (a small one that fills, or a read-only one).
enum class Mount : std::uint8_t { None, Small, ReadOnly, FullAtOnce };

struct RecordCase {
  const char* name;
  std::string board;        // added to CORVANE_BOARD
  std::string out;          // the OUT operand, relative to the sandbox
  std::string args;         // after OUT
  Mount mount;              // of the folder "disk"
  During during;            // once the take's file holds a whole frame
  int exitCode;             // 130: interrupted by SIGINT
  std::string message;      // in stderr
  std::string file;         // the name the take ends up under, if any
  bool keepsFrames;         // file holds the take's whole frames (else it holds kOlderTake, or is absent)
  bool deviceOpens = true;  // false: refused before the board is asked for anything
};

class RecordFailures : public HostTest {
 protected:
  // The clip the take's own-input cases name, and the board that plays it.
  RecordFailures() { writeQvfClip(at("clip.qvf"), 240, 3, kNtscFieldRateBits); }
  std::string ownInput() const { return "input=" + at("clip.qvf") + ",input_rate=240"; }

  // Runs each case through record (which leaves the host's stderr in
  // "stderr" and answers its exit status) and checks what it left.
  void runCases(const std::vector<RecordCase>& cases, const std::function<int(const RecordCase&)>& record) {
    namespace fs = std::filesystem;
    const std::string clip = slurp("clip.qvf");
    for (const RecordCase& c : cases) {
      SCOPED_TRACE(c.name);
      fs::create_directories(at("disk"));
      fs::create_directories(at("gone"));
      if (c.during == During::Interrupt || c.during == During::InterruptAtOnce)
        box_.writeFile(at(c.file), kOlderTake);
      fs::remove(box_.boardLog());
      const int exitCode = record(c);
      const std::string err = slurp("stderr");
      EXPECT_EQ(exitCode, c.exitCode) << err;
      EXPECT_NE(err.find(c.message), std::string::npos) << err;
      EXPECT_EQ(partialFiles(), 0);
      if (fs::exists(at("kept"))) {
        for (const auto& entry : fs::directory_iterator(at("kept"))) {
          EXPECT_EQ(entry.path().filename().string().find("partial"), std::string::npos) << entry.path();
        }
      }
      const std::string file = at(c.file);
      if (c.keepsFrames) {
        const std::uint64_t size = fs::file_size(file);
        EXPECT_EQ((size - kTakeHeaderBytes) % kTakeFrameBytes, 0u)
            << "a torn last frame: " << size << " bytes";
        const long frames = framesByInfo(file);
        EXPECT_GE(frames, 1);
        // One frame is "1 frame": an early interrupt on a slow run keeps just one.
        const std::string count = std::to_string(frames) + (frames == 1 ? " frame" : " frames");
        const std::string told = c.during == During::Interrupt
                                     ? "interrupted; " + count + " kept in " + at(c.out) + ".qvf"
                                     : count + " written";
        EXPECT_NE(err.find(told), std::string::npos) << "what the file holds, as info says: " << err;
      } else if (c.file == "clip.qvf") {
        EXPECT_TRUE(slurp(c.file) == clip) << "the input is left as it was";
      } else if (c.mount == Mount::FullAtOnce || c.during == During::InterruptAtOnce) {
        EXPECT_EQ(slurp(c.file), kOlderTake) << "a take without a whole frame replaces nothing";
      } else {
        EXPECT_FALSE(fs::exists(file)) << "no file for a take with no frame in it";
      }
      if (!c.deviceOpens) {
        EXPECT_EQ(slurp("board.log").find("CreateProbe"), std::string::npos);
      }
      fs::remove_all(at("kept"));
      fs::remove(at("status"));
      fs::remove(at("waited"));
    }
  }

 private:
  // The frames a take file holds, as the host's info reads them; -1 when it is
  // not a valid QVF file of whole frames.
  long framesByInfo(const std::string& path) {
    const HostRun info = host("info '" + path + "'");
    const std::size_t at = info.out.find("frames     ");
    if (info.exitCode != 0 || !info.err.empty() || at == std::string::npos) return -1;
    return std::stol(info.out.substr(at + 11));
  }
};

}  // namespace corvane::abi
