// corvane-host's file commands, run as a user runs them: clips go through
// import and export (and ffmpeg) and come back unchanged; bad input gets one
// line of error, a non-zero exit and no output that looks complete.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "abi/plugin_process.h"
#include "abi/qvf_clip.h"

namespace corvane::abi {
namespace {

namespace fs = std::filesystem;

struct HostRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

class HostCommands : public ::testing::Test {
 protected:
  // Runs "corvane-host ARGS" through the shell with the sandbox's environment.
  HostRun host(const std::string& args, const std::string& stdinFrom = "") {
    std::string command;
    for (const auto& [key, value] : box_.environment()) command += key + "='" + value + "' ";
    command += "CORVANE_PLUGIN='" CORVANE_PLUGIN_PATH "' '" CORVANE_HOST_PATH "' " + args;
    if (!stdinFrom.empty()) command += " < '" + stdinFrom + "'";
    command += " > '" + (dir() / "stdout").string() + "' 2> '" + (dir() / "stderr").string() + "'";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp("stdout"), slurp("stderr")};
  }
  fs::path dir() const { return box_.dir(); }
  std::string at(const std::string& name) const { return (dir() / name).string(); }
  std::string slurp(const std::string& name) const { return box_.readFile(dir() / name); }

  Sandbox box_;
};

// A 720 x 480 planar 4:2:2 clip whose colours stay inside the RGB cube (luma
// 64..192, chroma 112..144), so a trip through RGBA-32 clips nothing.
std::string y4mClip(std::uint32_t frames, std::uint32_t width = 720, std::uint32_t height = 480,
                    const std::string& chroma = "C422") {
  std::string clip = "YUV4MPEG2 W" + std::to_string(width) + " H" + std::to_string(height) +
                     " F30000:1001 Ip A1:1 " + chroma + "\n";
  std::uint32_t state = 12345;
  auto next = [&state](int low, int span) {
    state = state * 1103515245u + 12345u;
    return static_cast<char>(low + static_cast<int>((state >> 16) % static_cast<std::uint32_t>(span)));
  };
  for (std::uint32_t n = 0; n < frames; ++n) {
    clip += "FRAME\n";
    for (std::uint32_t i = 0; i < width * height; ++i) clip += next(64, 129);
    for (std::uint32_t i = 0; i < width * height; ++i) clip += next(112, 33);
  }
  return clip;
}

std::string payload(const std::string& y4m) { return y4m.substr(y4m.find("FRAME")); }

bool oneLineError(const HostRun& run) {
  return run.exitCode != 0 && !run.err.empty() && run.err.find('\n') == run.err.size() - 1 &&
         run.err.find('\r') == std::string::npos;
}

TEST_F(HostCommands, A422ImportAndY4mExportGiveBackTheSameBytesAndInfoDescribesTheFile) {
  box_.writeFile(at("in.y4m"), y4mClip(3));
  const HostRun import = host("import - -o '" + at("clip") + "'", at("in.y4m"));
  ASSERT_EQ(import.exitCode, 0) << import.err;
  EXPECT_TRUE(fs::exists(at("clip.qvf")));
  EXPECT_FALSE(fs::exists(at("clip.qvf.partial.qvf")));

  const HostRun info = host("info '" + at("clip.qvf") + "'");
  ASSERT_EQ(info.exitCode, 0) << info.err;
  EXPECT_NE(info.out.find("frames     3\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("720 x 480"), std::string::npos);

  const HostRun exported = host("export '" + at("clip.qvf") + "' --as y4m -o '" + at("back.y4m") + "'");
  ASSERT_EQ(exported.exitCode, 0) << exported.err;
  const std::string back = slurp("back.y4m");
  EXPECT_EQ(back.substr(0, back.find('\n')),
            "YUV4MPEG2 W720 H480 F30000:1001 It A10:11 C422 XCOLORRANGE=LIMITED");
  EXPECT_TRUE(payload(back) == payload(slurp("in.y4m")));

  const HostRun middle = host("export '" + at("clip.qvf") + "' --frames 1:2 --as 422 -o -");
  ASSERT_EQ(middle.exitCode, 0) << middle.err;
  ASSERT_EQ(middle.out.size(), 691204u);
  // Display row 1 is field 1's first row: its first macropixel is Cb Y0 Cr Y1.
  const std::string frame1 = payload(slurp("in.y4m")).substr(6 + 1 * (691200 + 6));
  EXPECT_EQ(middle.out[345600 + 1], frame1[720]) << "Y of display row 1, pixel 0";
  EXPECT_EQ(middle.out[345600 + 0], frame1[720 * 480 + 360]) << "Cb of display row 1";
}

TEST_F(HostCommands, FfmpegReadsTheExportedStreamFrameForFrame) {
  if (std::system("ffprobe -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "ffprobe is not installed";
  box_.writeFile(at("in.y4m"), y4mClip(4));
  ASSERT_EQ(host("import '" + at("in.y4m") + "' -o '" + at("clip.qvf") + "'").exitCode, 0);
  ASSERT_EQ(host("export '" + at("clip.qvf") + "' --as y4m -o '" + at("back.y4m") + "'").exitCode, 0);
  const std::string probe =
      "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
      "stream=nb_read_frames,width,height,pix_fmt -of csv=p=0 '" +
      at("back.y4m") + "' > '" + at("probe") + "'";
  ASSERT_EQ(std::system(probe.c_str()), 0);
  EXPECT_EQ(slurp("probe"), "720,480,yuv422p,4\n");
}

TEST_F(HostCommands, ThroughRgbaAndThrough444TheClipComesBackWithinTheConversionsError) {
  box_.writeFile(at("in.y4m"), y4mClip(2));
  const std::string source = payload(slurp("in.y4m"));
  for (const char* as : {"444", "rgba"}) {
    const std::string qvf = at(std::string("clip-") + as + ".qvf");
    ASSERT_EQ(host("import '" + at("in.y4m") + "' --as " + as + " -o '" + qvf + "'").exitCode, 0) << as;
    ASSERT_EQ(host("export '" + qvf + "' --as y4m -o '" + at("back.y4m") + "'").exitCode, 0) << as;
    const std::string back = payload(slurp("back.y4m"));
    ASSERT_EQ(back.size(), source.size());
    int worst = 0;
    for (std::size_t i = 0; i < back.size(); ++i)
      worst = std::max(worst,
                       std::abs(static_cast<unsigned char>(back[i]) - static_cast<unsigned char>(source[i])));
    // 4:4:4 moves bytes only; RGBA-32 rounds twice through 8-bit RGB.
    EXPECT_LE(worst, std::string(as) == "444" ? 0 : 1) << as;
  }
}

TEST_F(HostCommands, BadInfoOrExportRequestsFailInOneLineAndWriteNothing) {
  box_.writeFile(at("notes.qvf"), "not a video");
  writeQvfClip(at("clip.qvf"), 240, 2, kNtscFieldRateBits);
  const std::string clip = "export '" + at("clip.qvf") + "' ";
  for (const std::string& args : {"info '" + at("notes.qvf") + "'", "info '" + at("missing.qvf") + "'",
                                  "export '" + at("notes.qvf") + "' --as y4m", clip + "--as y4m --frames 1:3",
                                  clip + "--as y4m --frames 2:", clip + "--as png", clip + "--frames 0:1"}) {
    const HostRun run = host(args + " -o '" + at("out") + "'");
    EXPECT_TRUE(oneLineError(run)) << args << ": " << run.err;
  }
  EXPECT_FALSE(fs::exists(at("out")));
  EXPECT_FALSE(fs::exists(at("out.partial")));
}

TEST_F(HostCommands, BadImportsFailInOneLineAndLeaveAnOlderFileAsItWas) {
  box_.writeFile(at("take.qvf"), "an older take");
  box_.writeFile(at("small.y4m"), y4mClip(1, 352, 240));
  box_.writeFile(at("420.y4m"), y4mClip(1, 720, 480, "C420jpeg"));
  box_.writeFile(at("garbage.y4m"), "RIFF and more");
  const std::string whole = y4mClip(3);
  box_.writeFile(at("truncated.y4m"), whole.substr(0, whole.size() - 1000));
  box_.writeFile(at("empty.y4m"), y4mClip(0));
  for (const char* input :
       {"small.y4m", "420.y4m", "garbage.y4m", "truncated.y4m", "empty.y4m", "missing.y4m"}) {
    const HostRun run = host("import '" + at(input) + "' -o '" + at("take.qvf") + "'");
    EXPECT_TRUE(oneLineError(run)) << input << ": " << run.err;
    EXPECT_EQ(slurp("take.qvf"), "an older take") << input;
    EXPECT_FALSE(fs::exists(at("take.qvf.partial.qvf"))) << input;
  }
  box_.writeFile(at("good.y4m"), y4mClip(1));
  const HostRun unwritable = host("import '" + at("good.y4m") + "' -o '" + at("no-such-dir/take") + "'");
  EXPECT_TRUE(oneLineError(unwritable)) << unwritable.err;
  EXPECT_TRUE(oneLineError(host("import '" + at("good.y4m") + "' --as yuv -o '" + at("x") + "'")));
  EXPECT_EQ(box_.readFile(box_.messageLog()), "") << "the plug-in showed no message box";
}

}  // namespace
}  // namespace corvane::abi
