// Profile files on POSIX: what a save may replace (links, permission bits,
// a read-only folder), and writers in several processes sharing one file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "platform/profile.h"
#include "platform/profile_fixture.h"
#include "support/temp_dir.h"

namespace corvane::platform {
namespace {

using namespace profile_testing;
using testing::readFile;
using testing::writeFile;

// Runs body in a child process, without root if asked (permission bits do not
// stop root).
template <class Body>
pid_t spawn(Body body, bool asNobody = false) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  if (asNobody && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(100);
  ::_exit(body());
}

int exitCodeOf(pid_t pid) {
  int status = 0;
  if (pid <= 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// A settings file linked from elsewhere keeps its link: the save lands in the
// link's target, through a chain of links or a dangling one.
TEST_F(ProfileTest, SavesGoThroughSymbolicLinksToTheirTarget) {
  std::filesystem::create_directory(dir_ / "dotfiles");
  const std::string target = dir_ / "dotfiles/corvane.ini";
  writeFile(target, kModeOne);
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  ASSERT_EQ(::symlink("dotfiles/corvane.ini", (dir_ / "hop").c_str()), 0);
  ASSERT_EQ(::symlink((dir_ / "hop").c_str(), ini_.c_str()), 0);
  ASSERT_TRUE(writeProfileValue(ini_, kSection, "VideoMode", "0"));
  EXPECT_TRUE(std::filesystem::is_symlink(ini_) && std::filesystem::is_symlink(dir_ / "hop"));
  EXPECT_EQ(readFile(target), "[VideoCorvane Configuration]\nVideoMode=0\n");
  EXPECT_EQ(std::filesystem::status(target).permissions(), std::filesystem::perms(0640));
  EXPECT_EQ(entriesOf(dir_ / "dotfiles"), (std::vector<std::string>{".corvane.ini.lock", "corvane.ini"}));

  const std::string dangling = dir_ / "dangling.ini";
  ASSERT_EQ(::symlink("made/later.ini", dangling.c_str()), 0);
  ASSERT_TRUE(writeProfileValue(dangling, kSection, "Output", "1"));
  EXPECT_TRUE(std::filesystem::is_symlink(dangling));
  EXPECT_EQ(readFile(dir_ / "made/later.ini"), "[VideoCorvane Configuration]\nOutput=1\n");
}

// A link to a device or a folder means "not here": it must not become a file.
TEST_F(ProfileTest, ALinkToSomethingThatIsNotARegularFileIsNeverReplaced) {
  std::filesystem::create_directory(dir_ / "folder");
  for (const std::string& target : {std::string("/dev/null"), dir_ / "folder"}) {
    std::filesystem::remove(ini_);
    ASSERT_EQ(::symlink(target.c_str(), ini_.c_str()), 0);
    EXPECT_FALSE(writeProfileValue(ini_, kSection, "VideoMode", "1")) << target;
    EXPECT_EQ(std::filesystem::read_symlink(ini_), target);
  }
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
  EXPECT_TRUE(std::filesystem::is_empty(dir_ / "folder"));
}

// The folder takes no new files (no temporary, no lock file), the file is
// writable: it is saved in place, shorter text included, with no stale tail.
// Beside it, a file only its owner (root) may write is left alone.
TEST_F(ProfileTest, AWritableFileInAReadOnlyFolderIsSavedInPlace) {
  writeFile(ini_, "[VideoCorvane Configuration]\nVideoMode=123456789\nOutput=1\n");
  writeFile(dir_ / "owned.ini", kModeOne);
  ASSERT_EQ(::chmod(ini_.c_str(), 0666), 0);
  struct stat before {};
  ASSERT_EQ(::stat(ini_.c_str(), &before) | ::chmod(dir_.path().c_str(), 0555), 0);
  EXPECT_EQ(exitCodeOf(spawn(
                [&] {
                  if (!writeProfileValue(ini_, kSection, "VideoMode", "0")) return 1;
                  if (writeProfileValue(dir_ / "owned.ini", kSection, "VideoMode", "0")) return 2;
                  return writeProfileValue(dir_ / "New.ini", kSection, "VideoMode", "0") ? 3 : 0;
                },
                true)),
            0);
  EXPECT_EQ(readFile(ini_), "[VideoCorvane Configuration]\nVideoMode=0\nOutput=1\n");
  EXPECT_EQ(readFile(dir_ / "owned.ini"), kModeOne);
  struct stat after {};
  ASSERT_EQ(::stat(ini_.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(entriesOf(dir_.path()), (std::vector<std::string>{"VideoCorvane.ini", "owned.ini"}));
}

// No write bit at all is read-only for root too, as the native read-only
// attribute is: the file is left as it is. In a fresh process, two failed
// saves give one line naming the file and the reason.
TEST(ProfileDeathTest, AReadOnlyFileIsLeftAloneAndToldOnceOnStderr) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      {
        testing::TempDir dir;
        const std::string ini = dir / "VideoCorvane.ini";
        writeFile(ini, kModeOne);
        ::chmod(ini.c_str(), 0444);
        ::testing::internal::CaptureStderr();
        const bool saved = writeProfileValue(ini, kSection, "VideoMode", "0") ||
                           writeProfileValue(ini, kSection, "Output", "1");
        const std::string said = ::testing::internal::GetCapturedStderr();
        std::exit(!saved && readFile(ini) == kModeOne &&
                          std::filesystem::status(ini).permissions() == std::filesystem::perms(0444) &&
                          said == "Corvane: settings could not be saved to " + ini + ": Permission denied\n"
                      ? 0
                      : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// Without the shared lock, one writer's read-modify-write would drop the
// other's keys.
TEST_F(ProfileTest, WritersInTwoProcessesLoseNothing) {
  constexpr int kWrites = 40;
  writeFile(ini_, "; kept\n[Other]\nX=1\n");
  std::vector<pid_t> writers;
  for (char w : {'A', 'B'}) {
    writers.push_back(spawn([&, w] {
      for (int i = 0; i < kWrites; ++i)
        if (!writeProfileValue(ini_, kSection, w + std::to_string(i), std::to_string(i * 7))) return 1;
      return 0;
    }));
  }
  for (pid_t writer : writers) EXPECT_EQ(exitCodeOf(writer), 0);
  for (char w : {'A', 'B'})
    for (int i = 0; i < kWrites; ++i)
      ASSERT_EQ(readProfileValue(ini_, kSection, w + std::to_string(i)), std::to_string(i * 7));
  EXPECT_TRUE(readFile(ini_).starts_with("; kept\n[Other]\nX=1\n"));
}

}  // namespace
}  // namespace corvane::platform
