// corvane-host's file commands, run as a user runs them: clips go through
// import and export (and ffmpeg) and come back unchanged; what a y4m stream
// holds that QVF cannot keep is warned of; bad input gets one line of error, a
// non-zero exit and no output that looks complete.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "abi/host_runner.h"
#include "abi/qvf_clip.h"

namespace corvane::abi {
namespace {

namespace fs = std::filesystem;

using HostCommands = HostTest;

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST_F(HostCommands, A422ImportAndY4mExportGiveBackTheSameBytesAndInfoDescribesTheFile) {
  box_.writeFile(at("in.y4m"), y4mClip(3));
  const HostRun import = host("import - -o '" + at("clip") + "'", at("in.y4m"));
  ASSERT_EQ(import.exitCode, 0) << import.err;
  EXPECT_TRUE(fs::exists(at("clip.qvf")));
  EXPECT_EQ(partialFiles(), 0);

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
    ASSERT_EQ(host("export '" + qvf + "' --as y4m -y -o '" + at("back.y4m") + "'").exitCode, 0) << as;
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
    const HostRun run = host("import -y '" + at(input) + "' -o '" + at("take.qvf") + "'");
    EXPECT_TRUE(oneLineError(run)) << input << ": " << run.err;
    EXPECT_EQ(slurp("take.qvf"), "an older take") << input;
    EXPECT_EQ(partialFiles(), 0) << input;
  }
  box_.writeFile(at("good.y4m"), y4mClip(1));
  const HostRun unwritable = host("import '" + at("good.y4m") + "' -o '" + at("no-such-dir/take") + "'");
  EXPECT_TRUE(oneLineError(unwritable)) << unwritable.err;
  EXPECT_TRUE(oneLineError(host("import '" + at("good.y4m") + "' --as yuv -o '" + at("x") + "'")));
  EXPECT_EQ(box_.readFile(box_.messageLog()), "") << "the plug-in showed no message box";
}

TEST_F(HostCommands, ImportWarnsOnceForEachPropertyTheFileCannotKeep) {
  struct Case {
    std::string tags;
    bool pal;
    std::vector<std::string> warnings;  // a phrase of each expected line
  };
  for (const Case& c :
       std::initializer_list<Case>{{"F30000:1001 It", false, {}},
                                   {"F29970026:1000000 Ip", false, {}},
                                   {"F25:1 It", true, {}},
                                   {"F30000:1001 It", true, {"29.97 frames/s (F30000:1001)"}},
                                   {"F25:1 Ib XCOLORRANGE=FULL",
                                    false,
                                    {"25 frames/s (F25:1)", "bottom field first", "full range"}}}) {
    box_.writeFile(box_.iniPath(), c.pal ? kPalIni : "");
    box_.writeFile(at("in.y4m"), y4mClip(2, 720, c.pal ? 576 : 480, "C422", c.tags));
    const HostRun run = shell("cd " + quoted("") +
                              " && '" CORVANE_HOST_PATH "' import in.y4m -y -o out.qvf && test -f out.qvf");
    EXPECT_EQ(run.exitCode, 0) << c.tags << ": " << run.err;
    EXPECT_EQ(count(run.err, "warning:"), c.warnings.size()) << c.tags << ":\n" << run.err;
    for (const std::string& phrase : c.warnings)
      EXPECT_EQ(count(run.err, phrase), 1u) << c.tags << ": " << phrase;
  }
}

TEST_F(HostCommands, ARoundTripComparedByFfmpegPairsEveryFrameWithItself) {
  if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg is not installed";
  // Rates 1.3e-7 apart start pairing frames apart after some 40 frames.
  box_.writeFile(at("in.y4m"), y4mClip(48, 720, 480, "C422", "F30000:1001 It A10:11"));
  const HostRun run = shell("cd " + quoted("") +
                            " && '" CORVANE_HOST_PATH "' import in.y4m -o clip.qvf && '" CORVANE_HOST_PATH
                            "' export clip.qvf --as y4m -o back.y4m && head -c 32 back.y4m && "
                            "ffmpeg -nostdin -i in.y4m -i back.y4m -lavfi psnr -f null - 2>&1 | "
                            "grep -o 'average:[^ ]*'");
  EXPECT_EQ(run.out, "YUV4MPEG2 W720 H480 F30000:1001 average:inf\n") << run.err;
}

}  // namespace
}  // namespace corvane::abi
