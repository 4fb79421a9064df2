// corvane-host and y4m streams as video tools write them: the NTSC rate in
// their form, so that their frame-by-frame comparisons line up, and a warning
// for each property of an imported stream that the QVF file cannot keep.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "abi/shell_run.h"

namespace corvane::abi {
namespace {

// Planar 4:2:2 frames, each flat and 9 or more luma steps from the previous
// one, so a comparison that pairs frame n with n - 1 sees every pixel differ.
std::string flatStream(const std::string& tags, int frames, int height = 480) {
  std::string stream = "YUV4MPEG2 W720 H" + std::to_string(height) + " " + tags + " C422\n";
  for (int n = 0; n < frames; ++n)
    stream += "FRAME\n" + std::string(720u * height, static_cast<char>(20 + (40 + 9 * n) % 200)) +
              std::string(720u * height, static_cast<char>(128));
  return stream;
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(HostY4m, ImportWarnsOnceForEachPropertyTheFileCannotKeep) {
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
    Sandbox box;
    if (c.pal) box.writeFile(box.iniPath(), "[VideoCorvane Configuration]\nVideoMode=0\n");
    box.writeFile(box.dir() / "in.y4m", flatStream(c.tags, 2, c.pal ? 576 : 480));
    const ShellRun run =
        runShell(box, "cd '" + box.dir().string() +
                          "' && '" CORVANE_HOST_PATH "' import in.y4m -o out.qvf && test -f out.qvf");
    EXPECT_EQ(run.exitCode, 0) << c.tags << ": " << run.err;
    EXPECT_EQ(count(run.err, "warning:"), c.warnings.size()) << c.tags << ":\n" << run.err;
    for (const std::string& phrase : c.warnings)
      EXPECT_EQ(count(run.err, phrase), 1u) << c.tags << ": " << phrase;
  }
}

TEST(HostY4m, ARoundTripComparedByFfmpegPairsEveryFrameWithItself) {
  if (std::system("ffmpeg -version > /dev/null 2>&1") != 0) GTEST_SKIP() << "ffmpeg is not installed";
  Sandbox box;
  // Rates 1.3e-7 apart start pairing frames apart after some 40 frames.
  box.writeFile(box.dir() / "in.y4m", flatStream("F30000:1001 It A10:11", 48));
  const ShellRun run =
      runShell(box, "cd '" + box.dir().string() +
                        "' && '" CORVANE_HOST_PATH "' import in.y4m -o clip.qvf && '" CORVANE_HOST_PATH
                        "' export clip.qvf --as y4m -o back.y4m && head -c 32 back.y4m && "
                        "ffmpeg -nostdin -i in.y4m -i back.y4m -lavfi psnr -f null - 2>&1 | "
                        "grep -o 'average:[^ ]*'");
  EXPECT_EQ(run.out, "YUV4MPEG2 W720 H480 F30000:1001 average:inf\n") << run.err;
}

}  // namespace
}  // namespace corvane::abi
