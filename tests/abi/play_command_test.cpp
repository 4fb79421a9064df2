// corvane-host play, run as a user runs it: a clip goes out through the
// output device frame for frame, the summary counts what was shown, and bad
// requests fail in one line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <string>

#include "abi/plugin_process.h"
#include "abi/qvf_clip.h"

namespace corvane::abi {
namespace {

struct PlayRun {
  int exitCode = -1;
  std::string err;
};

class Play : public ::testing::Test {
 protected:
  Play() {
    std::filesystem::create_directories(box_.configDir());
    box_.writeFile(box_.iniPath(), "[VideoCorvane Configuration]\nVeltrixScryOut=0\n");
    writeQvfClip(at("clip.qvf"), 240, 12, kNtscFieldRateBits);
  }
  PlayRun play(const std::string& args, const std::string& board = "") {
    std::string command;
    auto env = box_.environment();
    env["CORVANE_BOARD"] = "output=" + at("out.qvf") + (board.empty() ? "" : "," + board);
    for (const auto& [key, value] : env) command += key + "='" + value + "' ";
    command += "CORVANE_PLUGIN='" CORVANE_PLUGIN_PATH "' '" CORVANE_HOST_PATH "' play " + args + " 2> '" +
               at("stderr") + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, box_.readFile(at("stderr"))};
  }
  std::string at(const std::string& name) const { return (box_.dir() / name).string(); }

  Sandbox box_;
};

TEST_F(Play, ARangeOfTheClipGoesOutFrameForFrame) {
  const PlayRun run = play("'" + at("clip.qvf") + "' --frames 2:10 --start-after 3");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(std::regex_search(
      run.err, std::regex("played 8 frames: 8 shown, 0 dropped; lateness p50 [0-9]+ us, p99 [0-9]+ us, "
                          "max [0-9]+ us\n$")))
      << run.err;
  const std::string clip = box_.readFile(at("clip.qvf"));
  const std::string out = box_.readFile(at("out.qvf"));
  constexpr std::size_t kFrame = 720 * 480 * 2;
  ASSERT_EQ(out.size(), 512 + 8 * kFrame);
  EXPECT_TRUE(out.compare(512, 8 * kFrame, clip, 512 + 2 * kFrame, 8 * kFrame) == 0);
  EXPECT_EQ(out.substr(0, 4), "FMTR");
}

TEST_F(Play, DroppedFramesAreCountedAndFailTheRun) {
  const PlayRun run = play("'" + at("clip.qvf") + "' --frames :2 --as 444", "refuse_output=1");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("played 2 frames: 0 shown, 2 dropped"), std::string::npos) << run.err;
}

TEST_F(Play, BadRequestsFailInOneLine) {
  for (const std::string& args :
       {"'" + at("clip.qvf") + "' --start-after 21", "'" + at("clip.qvf") + "' --as y4m",
        "'" + at("clip.qvf") + "' --frames 5:13", "'" + at("missing.qvf") + "'", std::string()}) {
    const PlayRun run = play(args);
    EXPECT_NE(run.exitCode, 0) << args;
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << args << ": " << run.err;
    EXPECT_FALSE(std::filesystem::exists(at("out.qvf"))) << "nothing played: " << args;
  }
}

}  // namespace
}  // namespace corvane::abi
