// corvane-host and y4m streams as video tools write them: the NTSC rate in
// the form the tools use, so their frame-by-frame comparisons line up, and a
// warning for each property of an imported stream the QVF file cannot keep.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>

#include "abi/shell_run.h"

namespace corvane::abi {
namespace {

namespace fs = std::filesystem;

// A planar 4:2:2 stream whose neighbouring frames differ: frame n is flat,
// luma 20 + (40 + 9n) mod 200, so a comparison that pairs frame n with n - 1
// sees every pixel off by 9 or more.
std::string flatStream(const std::string& tags, std::uint32_t frames, std::uint32_t height = 480) {
  const std::size_t luma = std::size_t{720} * height;
  std::string stream = "YUV4MPEG2 W720 H" + std::to_string(height) + " " + tags + " C422\n";
  for (std::uint32_t n = 0; n < frames; ++n) {
    stream += "FRAME\n";
    stream += std::string(luma, static_cast<char>(20 + (40 + 9 * n) % 200));
    stream += std::string(luma, static_cast<char>(128));
  }
  return stream;
}

std::string host(const std::string& args) { return "'" CORVANE_HOST_PATH "' " + args; }

std::size_t countLines(const std::string& text, const std::string& containing) {
  std::size_t count = 0;
  for (std::size_t at = 0; (at = text.find(containing, at)) != std::string::npos; at += containing.size())
    ++count;
  return count;
}

TEST(HostY4m, ImportWarnsOnceForEachPropertyTheFileCannotKeep) {
  struct Case {
    const char* name;
    std::string tags;
    bool pal;
    std::vector<std::string> warnings;  // a phrase from each expected line
  };
  const std::vector<Case> cases{
      {"ntsc as video tools write it", "F30000:1001 It A10:11", false, {}},
      {"ntsc as the plug-in counts it", "F29970026:1000000 Ip A1:1", false, {}},
      {"pal stream, pal plug-in", "F25:1 It A59:54", true, {}},
      {"pal rate into ntsc", "F25:1 It", false, {"25 frames/s (F25:1)"}},
      {"ntsc rate into pal", "F30000:1001 It", true, {"29.97 frames/s (F30000:1001)"}},
      {"bottom field first", "F30000:1001 Ib", false, {"bottom field first"}},
      {"full range", "F30000:1001 It XCOLORRANGE=FULL", false, {"full range"}},
      {"all three", "F24:1 Ib XCOLORRANGE=FULL", false, {"24 frames/s", "bottom field first", "full range"}},
  };
  for (const Case& c : cases) {
    Sandbox box;
    if (c.pal) box.writeFile(box.iniPath(), "[VideoCorvane Configuration]\nVideoMode=0\n");
    box.writeFile(box.dir() / "in.y4m", flatStream(c.tags, 2, c.pal ? 576 : 480));
    const ShellRun run = runShell(box, host("import '" + (box.dir() / "in.y4m").string() + "' -o '" +
                                            (box.dir() / "out.qvf").string() + "'"));
    EXPECT_EQ(run.exitCode, 0) << c.name << ": " << run.err;
    EXPECT_TRUE(fs::exists(box.dir() / "out.qvf")) << c.name << ": a warning does not stop the import";
    EXPECT_EQ(countLines(run.err, "warning:"), c.warnings.size()) << c.name << ":\n" << run.err;
    for (const std::string& phrase : c.warnings)
      EXPECT_EQ(countLines(run.err, phrase), 1u) << c.name << ": " << phrase << "\n" << run.err;
  }
}

TEST(HostY4m, ARoundTripComparedByFfmpegPairsEveryFrameWithItself) {
  if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg is not installed";
  Sandbox box;
  const std::string in = (box.dir() / "in.y4m").string();
  const std::string qvf = (box.dir() / "clip.qvf").string();
  const std::string back = (box.dir() / "back.y4m").string();
  // Rates 1.3e-7 apart pair frames apart only after some 40 frames.
  box.writeFile(in, flatStream("F30000:1001 It A10:11", 48));
  ASSERT_EQ(runShell(box, host("import '" + in + "' -o '" + qvf + "'")).exitCode, 0);
  ASSERT_EQ(runShell(box, host("export '" + qvf + "' --as y4m -o '" + back + "'")).exitCode, 0);
  const std::string header = box.readFile(back).substr(0, 40);
  EXPECT_EQ(header.substr(0, header.find(" I")), "YUV4MPEG2 W720 H480 F30000:1001");

  // No options that set rates or time bases: the streams must agree by themselves.
  const ShellRun psnr =
      runShell(box, "ffmpeg -nostdin -hide_banner -i '" + in + "' -i '" + back + "' -lavfi psnr -f null -");
  ASSERT_EQ(psnr.exitCode, 0) << psnr.err;
  const std::size_t average = psnr.err.find("average:");
  ASSERT_NE(average, std::string::npos) << psnr.err;
  EXPECT_EQ(psnr.err.substr(average, 11), "average:inf") << psnr.err.substr(average, 40);
}

}  // namespace
}  // namespace corvane::abi
