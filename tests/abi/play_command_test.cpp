// corvane-host play, run as a user runs it: a clip goes out through the
// output device frame for frame, the summary counts what was shown, and bad
// requests fail in one line.
#include <filesystem>
#include <regex>
#include <string>

#include "abi/host_runner.h"
#include "abi/qvf_clip.h"

namespace corvane::abi {
namespace {

class Play : public HostTest {
 protected:
  Play() {
    box_.writeFile(box_.iniPath(), "[VideoCorvane Configuration]\nVeltrixScryOut=0\n");
    writeQvfClip(at("clip.qvf"), 240, 12, kNtscFieldRateBits);
  }
  HostRun play(const std::string& args, const std::string& board = "") {
    return host("play " + args, "", {{"CORVANE_BOARD", "output=" + at("out.qvf") + "," + board}});
  }
};

TEST_F(Play, ARangeOfTheClipGoesOutFrameForFrame) {
  const HostRun run = play(quoted("clip.qvf") + " --frames 2:10 --start-after 3");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(std::regex_search(
      run.err, std::regex("played 8 frames: 8 shown, 0 dropped; lateness p50 [0-9]+ us, p99 [0-9]+ us, "
                          "max [0-9]+ us\n$")))
      << run.err;
  const std::string clip = slurp("clip.qvf"), out = slurp("out.qvf");
  constexpr std::size_t kFrame = 720 * 480 * 2;
  ASSERT_EQ(out.size(), 512 + 8 * kFrame);
  EXPECT_TRUE(out.compare(512, 8 * kFrame, clip, 512 + 2 * kFrame, 8 * kFrame) == 0);
  EXPECT_EQ(out.substr(0, 4), "FMTR");
}

TEST_F(Play, DroppedFramesAreCountedAndFailTheRun) {
  const HostRun run = play(quoted("clip.qvf") + " --frames :2 --as 444", "refuse_output=1");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("played 2 frames: 0 shown, 2 dropped"), std::string::npos) << run.err;
}

TEST_F(Play, BadRequestsFailInOneLine) {
  for (const std::string& args :
       {quoted("clip.qvf") + " --start-after 21", quoted("clip.qvf") + " --as y4m",
        quoted("clip.qvf") + " --frames 5:13", quoted("missing.qvf"), std::string()}) {
    const HostRun run = play(args);
    EXPECT_TRUE(oneLineError(run)) << args << ": " << run.err;
    EXPECT_FALSE(std::filesystem::exists(at("out.qvf"))) << "nothing played: " << args;
  }
}

}  // namespace
}  // namespace corvane::abi
