// corvane-host record as a user runs it: a take from a clip that loses
// nothing exits 0 with the frames it wrote; a take that loses frames says
// which cause and exits 1.
#include "abi/recording_harness.h"

namespace corvane::abi {
namespace {

class RecordCommand : public RecordingHost {
 protected:
  int record(const std::string& board, const std::string& args) {
    std::string command;
    for (const auto& [key, value] : environmentFor(board)) command += key + "='" + value + "' ";
    command += "CORVANE_PLUGIN='" CORVANE_PLUGIN_PATH "' '" CORVANE_HOST_PATH "' record " + args + " > '" +
               at("stdout") + "' 2> '" + at("stderr") + "'";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

TEST_F(RecordCommand, ATakeFromAClipPrintsItsFramesAndALossfulOneExitsWithItsCause) {
  writeQvfClip(at("clip.qvf"), 240, 2, kNtscFieldRateBits);
  const std::string path = at("take.qvf");
  ASSERT_EQ(record("input=" + at("clip.qvf") + ",input_rate=240", path + " --frames 8"), 0)
      << box_.readFile(at("stderr"));
  const std::string out = box_.readFile(at("stdout"));
  const std::size_t written = recordedFrames(path).size();
  EXPECT_GE(written, 8u);
  EXPECT_NE(out.find("written    " + std::to_string(written) + " frames"), std::string::npos) << out;
  EXPECT_NE(out.find("after_stop="), std::string::npos) << out;
  EXPECT_EQ(out.find("after_stop=0"), std::string::npos) << "the frame that ended the take: " << out;
  EXPECT_NE(box_.readFile(report()).find("written="), std::string::npos) << "a report the user named is kept";

  EXPECT_EQ(record("input_standard=pal,input_rate=240", at("pal.qvf") + " --seconds 5"), 1);
  EXPECT_NE(box_.readFile(at("stdout")).find("wrong_standard="), std::string::npos);
  EXPECT_EQ(box_.readFile(at("stdout")).find("wrong_standard=0"), std::string::npos);
  EXPECT_EQ(record("input_frames=3,input_rate=240", at("short.qvf") + " --frames 50"), 1);
  EXPECT_NE(box_.readFile(at("stderr")).find("no frame came from the board's input"), std::string::npos)
      << "an input gone silent ends the take instead of waiting for ever";
  EXPECT_EQ(record("", path + " --frames 1"), 1) << "an existing take is kept unless -y";
  EXPECT_EQ(recordedFrames(path).size(), written);
  EXPECT_EQ(record("", path), 2) << "neither --frames nor --seconds";
  EXPECT_NE(box_.readFile(at("stderr")).find("--frames N or --seconds S"), std::string::npos);
}

}  // namespace
}  // namespace corvane::abi
