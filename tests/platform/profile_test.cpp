// Profile files: lookup rules, writes that change exactly one line, and
// writers in several processes sharing one file.
#include "platform/profile.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <filesystem>
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

// Runs body in a child process without root, which permission bits would not
// stop; gives its exit code.
template <class Body>
int exitCodeAsNobody(Body body) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(100);
    ::_exit(body());
  }
  return exitCodeOf(child);
}

bool isSymlink(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::vector<std::string> entriesOf(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// A settings file linked from elsewhere keeps its link: the save lands in the
// link's target, whether the link is absolute, relative, chained or dangling.
TEST_F(ProfileTest, SavesGoThroughSymbolicLinksToTheirTarget) {
  std::filesystem::create_directory(dir_ / "dotfiles");
  writeFile(dir_ / "dotfiles/corvane.ini", "[VideoCorvane Configuration]\nVideoMode=1\n");
  ASSERT_EQ(::chmod((dir_ / "dotfiles/corvane.ini").c_str(), 0640), 0);
  ASSERT_EQ(::symlink("dotfiles/corvane.ini", (dir_ / "hop").c_str()), 0);
  ASSERT_EQ(::symlink((dir_ / "hop").c_str(), ini_.c_str()), 0);
  ASSERT_TRUE(writeProfileValue(ini_, kSection, "VideoMode", "0"));
  EXPECT_TRUE(isSymlink(ini_));
  EXPECT_TRUE(isSymlink(dir_ / "hop"));
  EXPECT_EQ(readFile(dir_ / "dotfiles/corvane.ini"), "[VideoCorvane Configuration]\nVideoMode=0\n");
  EXPECT_EQ(std::filesystem::status(dir_ / "dotfiles/corvane.ini").permissions(),
            std::filesystem::perms(0640));
  EXPECT_EQ(entriesOf(dir_ / "dotfiles"), (std::vector<std::string>{".corvane.ini.lock", "corvane.ini"}));

  const std::string dangling = dir_ / "dangling.ini";
  ASSERT_EQ(::symlink("made/later.ini", dangling.c_str()), 0);
  ASSERT_TRUE(writeProfileValue(dangling, kSection, "Output", "1"));
  EXPECT_TRUE(isSymlink(dangling));
  EXPECT_EQ(readFile(dir_ / "made/later.ini"), "[VideoCorvane Configuration]\nOutput=1\n");
}

// A link to a device or a folder means "not here": it must not become a file.
TEST_F(ProfileTest, ALinkToSomethingThatIsNotARegularFileIsNeverReplaced) {
  std::filesystem::create_directory(dir_ / "folder");
  for (const std::string& target : {std::string("/dev/null"), dir_ / "folder"}) {
    std::filesystem::remove(ini_);
    ASSERT_EQ(::symlink(target.c_str(), ini_.c_str()), 0);
    EXPECT_FALSE(writeProfileValue(ini_, kSection, "VideoMode", "1")) << target;
    EXPECT_TRUE(isSymlink(ini_)) << target;
    EXPECT_EQ(std::filesystem::read_symlink(ini_), target);
  }
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
  EXPECT_TRUE(std::filesystem::is_empty(dir_ / "folder"));
}

// No write bit at all makes the file read-only for root too, as the native
// read-only attribute does; a file the user cannot write is checked in a child
// without root.
TEST_F(ProfileTest, AReadOnlyFileIsLeftAsItIs) {
  const std::string before = "[VideoCorvane Configuration]\nVideoMode=1\n";
  writeFile(ini_, before);
  ASSERT_EQ(::chmod(ini_.c_str(), 0444), 0);
  EXPECT_FALSE(writeProfileValue(ini_, kSection, "VideoMode", "0"));
  EXPECT_EQ(readFile(ini_), before);
  EXPECT_EQ(std::filesystem::status(ini_).permissions(), std::filesystem::perms(0444));

  ASSERT_EQ(::chmod(ini_.c_str(), 0644), 0);  // writable by its owner, root, only
  EXPECT_EQ(exitCodeAsNobody([&] { return writeProfileValue(ini_, kSection, "VideoMode", "0") ? 1 : 0; }), 0);
  EXPECT_EQ(readFile(ini_), before);
}

// The folder takes no new files (no temporary, no lock file), the file is
// writable: it is saved in place, shorter text included, with no stale tail.
TEST_F(ProfileTest, AWritableFileInAReadOnlyFolderIsSavedInPlace) {
  writeFile(ini_, "[VideoCorvane Configuration]\nVideoMode=123456789\nOutput=1\n");
  ASSERT_EQ(::chmod(ini_.c_str(), 0666), 0);
  struct stat before {};
  ASSERT_EQ(::stat(ini_.c_str(), &before), 0);
  ASSERT_EQ(::chmod(dir_.path().c_str(), 0555), 0);
  EXPECT_EQ(exitCodeAsNobody([&] {
              if (!writeProfileValue(ini_, kSection, "VideoMode", "0")) return 1;
              if (writeProfileValue(dir_ / "New.ini", kSection, "VideoMode", "0")) return 2;
              return readProfileValue(ini_, kSection, "Output") == "1" ? 0 : 3;
            }),
            0);
  EXPECT_EQ(readFile(ini_), "[VideoCorvane Configuration]\nVideoMode=0\nOutput=1\n");
  struct stat after {};
  ASSERT_EQ(::stat(ini_.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(entriesOf(dir_.path()), (std::vector<std::string>{"VideoCorvane.ini"}));
}

// Temporaries of this file only, and only while no save holds the lock: a
// read while another process saves leaves them for the next access.
TEST_F(ProfileTest, AccessesSweepStaleTemporariesOfThisFileOnly) {
  writeFile(ini_, "[VideoCorvane Configuration]\nVideoMode=1\n");
  const std::vector<std::string> kept{".Other.ini.a1B2c3",      ".VideoCorvane.ini.a1B2c",
                                      ".VideoCorvane.ini.lock", ".VideoCorvane.ini.a1B2c3d",
                                      "VideoCorvane.ini",       "VideoCorvane.ini.a1B2c3"};
  for (const auto& name : kept) {
    if (name != "VideoCorvane.ini") writeFile(dir_ / name, "");
  }
  writeFile(dir_ / ".VideoCorvane.ini.a1B2c3", "[Torn");
  writeFile(dir_ / ".VideoCorvane.ini.ZZZZZZ", "");

  int toChild[2];
  int toParent[2];
  ASSERT_EQ(::pipe(toChild) | ::pipe(toParent), 0);
  const pid_t saver = ::fork();
  if (saver == 0) {  // stands for a save in another process, between lock and rename
    const int fd = ::open((dir_ / ".VideoCorvane.ini.lock").c_str(), O_RDWR);
    char go = 0;
    const bool ok = fd >= 0 && ::flock(fd, LOCK_EX) == 0 && ::write(toParent[1], "L", 1) == 1 &&
                    ::read(toChild[0], &go, 1) == 1;
    ::_exit(ok ? 0 : 1);
  }
  char locked = 0;
  ASSERT_EQ(::read(toParent[0], &locked, 1), 1);
  EXPECT_EQ(readProfileValue(ini_, kSection, "VideoMode"), "1");
  EXPECT_TRUE(std::filesystem::exists(dir_ / ".VideoCorvane.ini.ZZZZZZ"));
  ASSERT_EQ(::write(toChild[1], "U", 1), 1);
  EXPECT_EQ(exitCodeOf(saver), 0);
  for (int fd : {toChild[0], toChild[1], toParent[0], toParent[1]}) ::close(fd);

  EXPECT_EQ(readProfileValue(ini_, kSection, "VideoMode"), "1");
  std::vector<std::string> expected = kept;
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(entriesOf(dir_.path()), expected);
}

// In a fresh process: two failed saves, one line naming the file and the reason.
TEST(ProfileDeathTest, AFailedSaveIsToldOnceOnStderr) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      {
        test::TempDir dir;
        const std::string ini = dir / "VideoCorvane.ini";
        writeFile(ini, "");
        ::chmod(ini.c_str(), 0444);
        ::testing::internal::CaptureStderr();
        writeProfileValue(ini, kSection, "VideoMode", "1");
        writeProfileValue(ini, kSection, "Output", "1");
        const std::string said = ::testing::internal::GetCapturedStderr();
        std::exit(said == "Corvane: settings could not be saved to " + ini + ": Permission denied\n" ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
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
