// Profile files: lookup rules, writes that change exactly one line, and
// writers in several processes sharing one file.
#include "platform/profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <vector>

#include "platform/test_support.h"

namespace corvane::platform {
namespace {

using test::readFile;
using test::writeFile;

constexpr const char* kSection = "VideoCorvane Configuration";

class ProfileTest : public ::testing::Test {
 protected:
  test::TempDir dir_;
  std::string ini_ = dir_ / "VideoCorvane.ini";
};

int exitCodeOf(pid_t pid) {
  int status = 0;
  if (pid <= 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST_F(ProfileTest, LookupRules) {
  EXPECT_EQ(readProfileValue(ini_, kSection, "VideoMode"), std::nullopt);  // no file
  writeFile(ini_,
            "Output=9\n"
            "[videocorvane CONFIGURATION]\n"
            "VIDEOMODE=0\n"
            "videomode=5\n"
            ";Output=3\n"
            "  Spaced \t=  \t 42 \t \n"
            "Quoted=\"  inner  \"\n"
            "Lone=\"open\n"
            "Empty=\n"
            "Inner=a = b\n"
            "[VideoCorvane Configuration]\n"
            "Pedestal=7\n");
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

TEST_F(ProfileTest, WritesChangeOnlyTheirLine) {
  writeFile(ini_,
            "; settings\n\n[Other]\nVideoMode=3\n\n[VideoCorvane Configuration]\n"
            "Unknown Key = kept as is  \n  videoMODE = 1\n; trailing\nPedestal=1\n\n[Last]\nX=1");
  ASSERT_TRUE(writeProfileValue(ini_, kSection, "VideoMode", "0"));
  ASSERT_TRUE(writeProfileValue(ini_, "VIDEOCORVANE configuration", "Output", "1"));
  ASSERT_TRUE(writeProfileValue(ini_, "New", "SCPhase", "-3"));
  EXPECT_EQ(readFile(ini_),
            "; settings\n\n[Other]\nVideoMode=3\n\n[VideoCorvane Configuration]\n"
            "Unknown Key = kept as is  \nvideoMODE=0\n; trailing\nPedestal=1\nOutput=1\n\n"
            "[Last]\nX=1\n[New]\nSCPhase=-3\n");
}

TEST_F(ProfileTest, CrlfFilesKeepTheirLineEndings) {
  writeFile(ini_, "[S]\r\nA=1\r\nB=2\r\n");
  ASSERT_TRUE(writeProfileValue(ini_, "S", "A", "10"));
  ASSERT_TRUE(writeProfileValue(ini_, "S", "C", "3"));
  ASSERT_TRUE(writeProfileValue(ini_, "T", "D", "4"));
  EXPECT_EQ(readFile(ini_), "[S]\r\nA=10\r\nB=2\r\nC=3\r\n[T]\r\nD=4\r\n");
  EXPECT_EQ(readProfileValue(ini_, "S", "B"), "2");
}

TEST_F(ProfileTest, MissingDirectoriesAreCreatedAndBadEntriesRefused) {
  const std::string nested = dir_ / "a/b/VideoCorvane.ini";
  ASSERT_TRUE(writeProfileValue(nested, kSection, "VideoMode", "1"));
  EXPECT_EQ(readFile(nested), "[VideoCorvane Configuration]\nVideoMode=1\n");
  // Entries that would not read back as written.
  for (auto [s, k, v] : {std::array<const char*, 3>{"S", "A=B", "1"},
                         {"S", "A", "1\nB=2"},
                         {"S", "", "1"},
                         {"S", ";A", "1"},
                         {"S]", "A", "1"},
                         {"S\r", "A", "1"}})
    EXPECT_FALSE(writeProfileValue(nested, s, k, v)) << s << '/' << k << '/' << v;
  EXPECT_EQ(readFile(nested), "[VideoCorvane Configuration]\nVideoMode=1\n");
  writeFile(dir_ / "plain", "");
  EXPECT_FALSE(writeProfileValue(dir_ / "plain/VideoCorvane.ini", kSection, "VideoMode", "1"));
}

// The write runs in a child that drops root, which could write anyway.
TEST_F(ProfileTest, UnwritableDirectoryGivesFalseAndKeepsTheOldFile) {
  const std::string before = "[VideoCorvane Configuration]\nVideoMode=1\n";
  const std::string lock = dir_ / ".VideoCorvane.ini.lock";
  writeFile(ini_, before);
  writeFile(lock, "");
  ASSERT_EQ(::chmod(lock.c_str(), 0666) | ::chmod(dir_.path().c_str(), 0555), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
    if (writeProfileValue(ini_, kSection, "VideoMode", "0")) ::_exit(1);
    ::_exit(readProfileValue(ini_, kSection, "VideoMode") == "1" ? 0 : 3);
  }
  EXPECT_EQ(exitCodeOf(child), 0);
  EXPECT_EQ(readFile(ini_), before);
}

TEST_F(ProfileTest, WritersInTwoProcessesLoseNothingAndReadersSeeWholeFiles) {
  constexpr int kWrites = 100;
  const std::string original = "; kept\n[Other]\nX=1\n";
  writeFile(ini_, original);
  auto key = [](char w, int i) { return w + std::to_string(i); };
  auto spawn = [](auto body) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    return pid;
  };
  std::vector<pid_t> children;
  for (char w : {'A', 'B'}) {
    children.push_back(spawn([&, w] {
      for (int i = 0; i < kWrites; ++i) {
        if (!writeProfileValue(ini_, kSection, key(w, i), std::to_string(i * 7)) ||
            !writeProfileValue(ini_, kSection, "Shared", std::string(1, w)))
          return 1;
      }
      return 0;
    }));
  }
  children.push_back(spawn([&] {
    for (int round = 0; round < 400; ++round) {
      const std::string text = readFile(ini_);
      const auto header = text.find(kSection);
      if (!text.starts_with(original) || text.back() != '\n' ||
          (header != std::string::npos && text.find(kSection, header + 1) != std::string::npos))
        return 4;
    }
    return 0;
  }));
  for (pid_t child : children) EXPECT_EQ(exitCodeOf(child), 0);
  for (char w : {'A', 'B'})
    for (int i = 0; i < kWrites; ++i)
      EXPECT_EQ(readProfileValue(ini_, kSection, key(w, i)), std::to_string(i * 7));
  EXPECT_EQ(readProfileValue(ini_, "Other", "X"), "1");
}

TEST(ProfileLocation, DirectoryComesFromTheFirstVariableThatIsSet) {
  test::ScopedEnv config("CORVANE_CONFIG_DIR", "/cfg/dir");
  test::ScopedEnv xdg("XDG_CONFIG_HOME", "/xdg");
  test::ScopedEnv home("HOME", "/home/user");
  EXPECT_EQ(profilePath("VideoCorvane.ini"), "/cfg/dir/VideoCorvane.ini");
  EXPECT_EQ(profilePath("/abs/Other.ini"), "/abs/Other.ini");
  test::ScopedEnv emptyConfig("CORVANE_CONFIG_DIR", "");
  EXPECT_EQ(profileDirectory(), "/xdg/corvane");
  test::ScopedEnv noXdg("XDG_CONFIG_HOME", std::nullopt);
  EXPECT_EQ(profileDirectory(), "/home/user/.config/corvane");
}

}  // namespace
}  // namespace corvane::platform
