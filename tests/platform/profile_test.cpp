// Profile files: lookup rules, and writes that change exactly one line.
#include "platform/profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/test_support.h"

namespace corvane::platform {
namespace {

using test::readFile;
using test::ScopedEnv;
using test::TempDir;
using test::writeFile;

constexpr const char* kSection = "VideoCorvane Configuration";

class ProfileTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string ini_ = dir_ / "VideoCorvane.ini";
};

TEST_F(ProfileTest, MissingFileSectionOrKeyReadsAsNothing) {
  EXPECT_EQ(readProfileValue(ini_, kSection, "VideoMode"), std::nullopt);
  writeFile(ini_, "[Other]\nVideoMode=1\n[VideoCorvane Configuration]\nOutput=0\n");
  EXPECT_EQ(readProfileValue(ini_, kSection, "VideoMode"), std::nullopt);
  EXPECT_EQ(readProfileValue(ini_, "Missing", "Output"), std::nullopt);
  EXPECT_EQ(readProfileValue(ini_, kSection, "Output"), "0");
}

TEST_F(ProfileTest, NamesCompareWithoutCaseAndTheFirstMatchWins) {
  writeFile(ini_,
            "[videocorvane CONFIGURATION]\n"
            "VIDEOMODE=0\n"
            "videomode=5\n"
            "[VideoCorvane Configuration]\n"
            "Pedestal=7\n");
  EXPECT_EQ(readProfileValue(ini_, kSection, "VideoMode"), "0");
  // Only the first section of that name is searched.
  EXPECT_EQ(readProfileValue(ini_, kSection, "Pedestal"), std::nullopt);
}

TEST_F(ProfileTest, ValuesLoseSurroundingBlanksAndOnePairOfQuotes) {
  writeFile(ini_,
            "[S]\n"
            "  Spaced \t=  \t 42 \t \n"
            "Quoted=\"  inner  \"\n"
            "Lone=\"open\n"
            "Empty=\n"
            "Inner=a = b\n");
  EXPECT_EQ(readProfileValue(ini_, "S", "Spaced"), "42");
  EXPECT_EQ(readProfileValue(ini_, "S", "Quoted"), "  inner  ");
  EXPECT_EQ(readProfileValue(ini_, "S", "Lone"), "\"open");
  EXPECT_EQ(readProfileValue(ini_, "S", "Empty"), "");
  EXPECT_EQ(readProfileValue(ini_, "S", "Inner"), "a = b");
}

TEST_F(ProfileTest, CommentsAndLinesBeforeAnySectionAreNotKeys) {
  writeFile(ini_, "Output=9\n[S]\n;Output=3\n  ; Pedestal=1\nOutput=4\n");
  EXPECT_EQ(readProfileValue(ini_, "S", "Output"), "4");
  EXPECT_EQ(readProfileValue(ini_, "S", "Pedestal"), std::nullopt);
}

TEST_F(ProfileTest, ReplacingAKeyRewritesOnlyItsLineAndKeepsItsSpelling) {
  const std::string before =
      "; settings of the board\n"
      "\n"
      "[Other]\n"
      "VideoMode=3\n"
      "\n"
      "[VideoCorvane Configuration]\n"
      "Unknown Key = kept as is  \n"
      "  videoMODE = 1\n"
      "; trailing comment\n"
      "Pedestal=1\n";
  writeFile(ini_, before);
  ASSERT_TRUE(writeProfileValue(ini_, kSection, "VideoMode", "0"));
  EXPECT_EQ(readFile(ini_),
            "; settings of the board\n"
            "\n"
            "[Other]\n"
            "VideoMode=3\n"
            "\n"
            "[VideoCorvane Configuration]\n"
            "Unknown Key = kept as is  \n"
            "videoMODE=0\n"
            "; trailing comment\n"
            "Pedestal=1\n");
  EXPECT_EQ(readProfileValue(ini_, "other", "videomode"), "3");
}

TEST_F(ProfileTest, NewKeyGoesToTheEndOfItsSectionWhenAnotherSectionFollows) {
  writeFile(ini_,
            "[VideoCorvane Configuration]\n"
            "VideoMode=1\n"
            "\n"
            "[Other]\n"
            "X=1\n");
  ASSERT_TRUE(writeProfileValue(ini_, "VIDEOCORVANE configuration", "Output", "1"));
  EXPECT_EQ(readFile(ini_),
            "[VideoCorvane Configuration]\n"
            "VideoMode=1\n"
            "Output=1\n"
            "\n"
            "[Other]\n"
            "X=1\n");
  EXPECT_EQ(readProfileValue(ini_, "Other", "Output"), std::nullopt);
}

TEST_F(ProfileTest, NewSectionIsAppendedEvenAfterALastLineWithoutNewline) {
  writeFile(ini_, "[Other]\nX=1");
  ASSERT_TRUE(writeProfileValue(ini_, kSection, "SCPhase", "-3"));
  EXPECT_EQ(readFile(ini_), "[Other]\nX=1\n[VideoCorvane Configuration]\nSCPhase=-3\n");
}

TEST_F(ProfileTest, CrlfFilesKeepTheirLineEndings) {
  writeFile(ini_, "[S]\r\nA=1\r\nB=2\r\n");
  ASSERT_TRUE(writeProfileValue(ini_, "S", "A", "10"));
  ASSERT_TRUE(writeProfileValue(ini_, "S", "C", "3"));
  ASSERT_TRUE(writeProfileValue(ini_, "T", "D", "4"));
  EXPECT_EQ(readFile(ini_), "[S]\r\nA=10\r\nB=2\r\nC=3\r\n[T]\r\nD=4\r\n");
  EXPECT_EQ(readProfileValue(ini_, "S", "B"), "2");
}

TEST_F(ProfileTest, MissingDirectoriesAreCreated) {
  const std::string nested = dir_ / "a/b/c/VideoCorvane.ini";
  ASSERT_TRUE(writeProfileValue(nested, kSection, "VideoMode", "1"));
  EXPECT_EQ(readFile(nested), "[VideoCorvane Configuration]\nVideoMode=1\n");
}

TEST_F(ProfileTest, WritesLeaveNoTemporaryFilesBehind) {
  for (int i = 0; i < 5; ++i)
    ASSERT_TRUE(writeProfileValue(ini_, "S", "K" + std::to_string(i), "v"));
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "VideoCorvane.ini" || name == ".VideoCorvane.ini.lock") << name;
  }
}

TEST_F(ProfileTest, EntriesThatWouldNotReadBackAreRefusedAndChangeNothing) {
  writeFile(ini_, "[S]\nA=1\n");
  EXPECT_FALSE(writeProfileValue(ini_, "S", "A=B", "1"));
  EXPECT_FALSE(writeProfileValue(ini_, "S", "A", "1\nB=2"));
  EXPECT_FALSE(writeProfileValue(ini_, "S", "", "1"));
  EXPECT_FALSE(writeProfileValue(ini_, "S", ";A", "1"));
  EXPECT_FALSE(writeProfileValue(ini_, "S]", "A", "1"));
  EXPECT_FALSE(writeProfileValue(ini_, "S\r", "A", "1"));
  EXPECT_EQ(readFile(ini_), "[S]\nA=1\n");
}

TEST_F(ProfileTest, DirectoryThatCannotBeCreatedGivesFalse) {
  writeFile(dir_ / "plain-file", "not a directory");
  EXPECT_FALSE(writeProfileValue(dir_ / "plain-file/VideoCorvane.ini", kSection, "VideoMode", "1"));
}

// The write runs in a child; as root the child drops to an unprivileged user
// because root may write into a read-only directory.
TEST_F(ProfileTest, UnwritableDirectoryGivesFalseAndKeepsTheOldFile) {
  const std::string before = "[VideoCorvane Configuration]\nVideoMode=1\n";
  const std::string lockFile = dir_ / ".VideoCorvane.ini.lock";
  writeFile(ini_, before);
  writeFile(lockFile, "");
  ASSERT_EQ(::chmod(lockFile.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(ini_.c_str(), 0644), 0);
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0555), 0);

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    constexpr uid_t kNobody = 65534;
    if (::geteuid() == 0 && (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) ::_exit(2);
    const bool written = writeProfileValue(ini_, kSection, "VideoMode", "0");
    const bool stillReadable = readProfileValue(ini_, kSection, "VideoMode") == "1";
    ::_exit(written ? 1 : (stillReadable ? 0 : 3));
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ::chmod(dir_.path().c_str(), 0755);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(readFile(ini_), before);
}

TEST(ProfileLocation, DirectoryComesFromTheFirstVariableThatIsSet) {
  ScopedEnv config("CORVANE_CONFIG_DIR", "/cfg/dir");
  ScopedEnv xdg("XDG_CONFIG_HOME", "/xdg");
  ScopedEnv home("HOME", "/home/user");
  EXPECT_EQ(profileDirectory(), "/cfg/dir");
  EXPECT_EQ(profilePath("VideoCorvane.ini"), "/cfg/dir/VideoCorvane.ini");
  {
    ScopedEnv emptyConfig("CORVANE_CONFIG_DIR", "");
    EXPECT_EQ(profileDirectory(), "/xdg/corvane");
    ScopedEnv noXdg("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(profileDirectory(), "/home/user/.config/corvane");
  }
  EXPECT_EQ(profilePath("/abs/Other.ini"), "/abs/Other.ini");
}

}  // namespace
}  // namespace corvane::platform
