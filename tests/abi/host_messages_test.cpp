// What info, export and import say about files that are not what they seem:
// the system's reason for one that cannot be read, a warning for each
// surprise in a QVF header, the video mode a clip needs and how to choose it.
#include <filesystem>
#include <fstream>
#include <string>

#include "abi/host_runner.h"
#include "abi/qvf_clip.h"
#include "platform/file.h"

namespace corvane::abi {
namespace {

namespace fs = std::filesystem;

using HostMessages = HostTest;

void patchU32(const std::string& path, std::size_t at, std::uint32_t value) {
  std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
  file.seekp(static_cast<std::streamoff>(at));
  for (int i = 0; i < 4; ++i) file.put(static_cast<char>(value >> (8 * i)));
}

TEST_F(HostMessages, AFileThatCannotBeReadIsNamedWithTheReason) {
  fs::create_directory(at("folder.qvf"));
  box_.writeFile(at("empty.qvf"), "");
  box_.writeFile(at("noise.qvf"), std::string(4000, '\x5a'));
  writeQvfClip(at("cut.qvf"), 240, 1, kNtscFieldRateBits);
  fs::resize_file(at("cut.qvf"), 512 + 1000);
  struct Case {
    const char* file;
    const char* expected;
  };
  for (const Case& c : {Case{"missing.qvf", ": No such file or directory"},
                        Case{"folder.qvf", " is a directory"}, Case{"empty.qvf", " is empty"},
                        Case{"noise.qvf", " is not a QVF file"}, Case{"cut.qvf", " holds no whole frames"}}) {
    for (const char* command : {"info ", "export --as y4m -o - "}) {
      const HostRun run = host(std::string(command) + quoted(c.file));
      EXPECT_TRUE(oneLineError(run)) << command << c.file << ": " << run.err;
      EXPECT_NE(run.err.find(at(c.file) + c.expected), std::string::npos) << run.err;
      EXPECT_EQ(run.out, "") << command << c.file;
    }
  }
}

TEST_F(HostMessages, SurprisesInAQvfHeaderGetAWarningLine) {
  writeQvfClip(at("clip.qvf"), 240, 2, kNtscFieldRateBits);
  fs::copy_file(at("clip.qvf"), at("short.qvf"));
  fs::resize_file(at("short.qvf"), fs::file_size(at("short.qvf")) - 100);
  fs::copy_file(at("clip.qvf"), at("overlapping.qvf"));
  patchU32(at("overlapping.qvf"), 16, 1);  // frame block size
  writeQvfClip(at("pal.qvf"), 288, 1, kPalFieldRateBits);
  struct Case {
    const char* file;
    const char* ini;
    const char* warning;  // nullptr: none
    bool exports = true;
  };
  for (const Case& c : {Case{"clip.qvf", "", nullptr}, Case{"short.qvf", "", "ends inside frame 1"},
                        Case{"overlapping.qvf", "", "frame blocks of 1 byte are smaller than the 691200"},
                        Case{"clip.qvf", kPalIni, "480-line frames but the plug-in is in PAL mode"},
                        Case{"pal.qvf", "",
                             "576-line frames, more than the plug-in reads in NTSC mode (add "
                             "--video-mode pal)",
                             false}}) {
    box_.writeFile(box_.iniPath(), c.ini);
    const HostRun info = host("info " + quoted(c.file));
    EXPECT_EQ(info.exitCode, 0) << c.file << ": " << info.err;
    if (c.warning == nullptr) {
      EXPECT_EQ(info.err, "") << c.file;
      continue;
    }
    EXPECT_NE(info.err.find("warning: " + at(c.file)), std::string::npos) << info.err;
    EXPECT_NE(info.err.find(c.warning), std::string::npos) << info.err;
    const HostRun exported = host("export " + quoted(c.file) + " --as 422 --frames 0:1 -o -");
    EXPECT_EQ(exported.exitCode, c.exports ? 0 : 1) << c.file << ": " << exported.err;
    // Frames too large for the buffers are an error that says the same.
    EXPECT_NE(exported.err.find(c.exports ? c.warning : "(add --video-mode pal)"), std::string::npos)
        << exported.err;
  }
}

TEST_F(HostMessages, AFullDeviceIsNamedWithTheReason) {
  writeQvfClip(at("clip.qvf"), 240, 1, kNtscFieldRateBits);
  const HostRun run = host("export " + quoted("clip.qvf") + " --as 422 -o /dev/full");
  EXPECT_TRUE(oneLineError(run)) << run.err;
  EXPECT_NE(run.err.find("cannot write /dev/full: No space left on device"), std::string::npos) << run.err;
}

TEST_F(HostMessages, AFrameRangePastTheEndIsClampedWithAWarning) {
  writeQvfClip(at("clip.qvf"), 240, 3, kNtscFieldRateBits);
  const HostRun run = host("export " + quoted("clip.qvf") + " --as 422 --frames 1:9 -o -");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out.size(), 2 * 691204u);
  EXPECT_NE(run.err.find("exporting 1:3 instead of 1:9"), std::string::npos) << run.err;
}

TEST_F(HostMessages, AHeaderClaimingHugeFramesIsRefusedWithoutTryingToHoldThem) {
  writeQvfClip(at("huge.qvf"), 240, 2, kNtscFieldRateBits);
  for (std::size_t stream : {24u, 48u}) {
    patchU32(at("huge.qvf"), stream + 16, 16384 * 2);  // bytes per line
    patchU32(at("huge.qvf"), stream + 20, 16384);      // lines per field
  }
  const HostRun run = host("export " + quoted("huge.qvf") + " --as rgba -o " + quoted("out"));
  EXPECT_TRUE(oneLineError(run)) << run.err;
  EXPECT_NE(run.err.find("claims 16384 x 32768 frames"), std::string::npos) << run.err;
  EXPECT_EQ(partialFiles(), 0);
}

TEST_F(HostMessages, AClipOpenForWritingElsewhereIsSaidToBeInUse) {
  writeQvfClip(at("clip.qvf"), 240, 1, kNtscFieldRateBits);
  platform::StreamHandle writer = platform::StreamHandle::open(at("clip.qvf").c_str());
  ASSERT_TRUE(writer.writable());
  const HostRun run = host("info " + quoted("clip.qvf"));
  EXPECT_TRUE(oneLineError(run)) << run.err;
  EXPECT_NE(run.err.find(at("clip.qvf") + " is in use by another program"), std::string::npos) << run.err;
}

TEST_F(HostMessages, TheVideoModeCanBeChosenForOneRunAndAnUnreadableOneIsReported) {
  box_.writeFile(at("pal.y4m"), y4mClip(1, 720, 576));
  box_.writeFile(box_.iniPath(), "[VideoCorvane Configuration]\nVideoMode=PAL\n");
  const HostRun ntsc = host("import " + quoted("pal.y4m") + " -o " + quoted("take"));
  EXPECT_NE(ntsc.exitCode, 0);
  EXPECT_NE(ntsc.err.find("warning: VideoMode=PAL in " + box_.iniPath().string() + " is not a mode"),
            std::string::npos)
      << ntsc.err;
  EXPECT_NE(ntsc.err.find("720x576, the plug-in in NTSC mode writes 720x480 (add --video-mode pal)"),
            std::string::npos)
      << ntsc.err;

  box_.writeFile(box_.iniPath(), "[VideoCorvane Configuration]\nVideoMode=1\n");
  const std::string before = box_.readFile(box_.iniPath());
  for (const std::string& args :
       {"--video-mode pal import " + quoted("pal.y4m") + " -o " + quoted("take"),
        "import " + quoted("pal.y4m") + " --video-mode=pal -y -o " + quoted("take")}) {
    const HostRun pal = host(args);
    EXPECT_EQ(pal.exitCode, 0) << args << ": " << pal.err;
    EXPECT_EQ(box_.readFile(box_.iniPath()), before) << "the settings file is left alone";
  }
  const HostRun info = host("--video-mode pal info " + quoted("take.qvf"));
  EXPECT_NE(info.out.find("720 x 576"), std::string::npos) << info.out << info.err;
  EXPECT_EQ(host("--video-mode secam info " + quoted("take.qvf")).exitCode, 2);
}

}  // namespace
}  // namespace corvane::abi
