// Profile files: lookup rules, writes that change exactly one line, and the
// temporaries a save may leave.
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <vector>

#include "platform/profile_fixture.h"
#include "support/temp_dir.h"

namespace corvane::platform {
namespace {

using namespace profile_testing;
using testing::readFile;
using testing::writeFile;

TEST_F(ProfileTest, LookupRules) {
  EXPECT_EQ(readProfileValue(ini_, kSection, "VideoMode"), std::nullopt);  // no file
  writeFile(ini_,
            "Output=9\n[videocorvane CONFIGURATION]\nVIDEOMODE=0\nvideomode=5\n;Output=3\n"
            "  Spaced \t=  \t 42 \t \nQuoted=\"  inner  \"\nLone=\"open\nEmpty=\nInner=a = b\n"
            "[VideoCorvane Configuration]\nPedestal=7\n");
  const struct {
    const char* key;
    std::optional<std::string> value;
  } cases[] = {
      {"VideoMode", "0"},          // names ignore case, the first match wins
      {"Pedestal", std::nullopt},  // only the first section of a name counts
      {"Output", std::nullopt},    // comments and lines before any section
      {"Spaced", "42"},           {"Quoted", "  inner  "}, {"Lone", "\"open"}, {"Empty", ""},
      {"Inner", "a = b"},
  };
  for (const auto& c : cases) EXPECT_EQ(readProfileValue(ini_, kSection, c.key), c.value) << c.key;
  EXPECT_EQ(readProfileValue(ini_, "Missing", "Spaced"), std::nullopt);
}

// The same three writes (a key in another case, a new key, a new section) on
// a file with unrelated lines, a CRLF file, and a file in folders not made yet.
TEST_F(ProfileTest, WritesChangeOnlyTheirLine) {
  const struct {
    std::string path;
    const char* before;
    const char* after;
  } cases[] = {
      {ini_,
       "; settings\n\n[Other]\nVideoMode=3\n\n[VideoCorvane Configuration]\n"
       "Unknown Key = kept as is  \n  videoMODE = 1\n; trailing\nPedestal=1\n\n[Last]\nX=1",
       "; settings\n\n[Other]\nVideoMode=3\n\n[VideoCorvane Configuration]\n"
       "Unknown Key = kept as is  \nvideoMODE=0\n; trailing\nPedestal=1\nOutput=1\n\n"
       "[Last]\nX=1\n[New]\nSCPhase=-3\n"},
      {dir_ / "crlf.ini", "[VideoCorvane Configuration]\r\nVideoMode=1\r\nB=2\r\n",
       "[VideoCorvane Configuration]\r\nVideoMode=0\r\nB=2\r\nOutput=1\r\n[New]\r\nSCPhase=-3\r\n"},
      {dir_ / "a/b/new.ini", nullptr,
       "[VideoCorvane Configuration]\nVideoMode=0\nOutput=1\n[New]\nSCPhase=-3\n"},
  };
  for (const auto& c : cases) {
    if (c.before) writeFile(c.path, c.before);
    EXPECT_TRUE(writeProfileValue(c.path, kSection, "VideoMode", "0"));
    EXPECT_TRUE(writeProfileValue(c.path, "VIDEOCORVANE configuration", "Output", "1"));
    EXPECT_TRUE(writeProfileValue(c.path, "New", "SCPhase", "-3"));
    EXPECT_EQ(readFile(c.path), c.after) << c.path;
  }
  // An entry that would not read back as written.
  EXPECT_FALSE(writeProfileValue(ini_, "S", "A", "1\nB=2"));
}

// Only temporaries of this file, with the exact name a save gives them.
TEST_F(ProfileTest, AccessesSweepStaleTemporariesOfThisFileOnly) {
  writeFile(ini_, kModeOne);
  std::vector<std::string> kept{".Other.ini.a1B2c3", ".VideoCorvane.ini.a1B2c", ".VideoCorvane.ini.a1B2c3d",
                                "VideoCorvane.ini.a1B2c3"};
  for (const auto& name : kept) writeFile(dir_ / name, "");
  writeFile(dir_ / ".VideoCorvane.ini.a1B2c3", "[Torn");
  EXPECT_EQ(readProfileValue(ini_, kSection, "VideoMode"), "1");
  kept.insert(kept.end(), {".VideoCorvane.ini.lock", "VideoCorvane.ini"});
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(entriesOf(dir_.path()), kept);
}

}  // namespace
}  // namespace corvane::platform
