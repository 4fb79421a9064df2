// Writers in different processes share one profile file: each write is a
// read-modify-write under the lock, so no writer loses another's keys and a
// reader never sees a half-written file.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "platform/test_support.h"

namespace corvane::platform {
namespace {

constexpr const char* kSection = "VideoCorvane Configuration";
constexpr int kWritesPerWriter = 100;
constexpr std::string_view kOriginal = "; kept\n[Other]\nX=1\n";

std::string keyName(char writer, int i) { return std::string(1, writer) + std::to_string(i); }

// Child body: every write must succeed and read back at once.
int runWriter(const std::string& ini, char writer) {
  for (int i = 0; i < kWritesPerWriter; ++i) {
    const std::string value = std::to_string(i * 7);
    if (!writeProfileValue(ini, kSection, keyName(writer, i), value)) return 1;
    if (!writeProfileValue(ini, kSection, "Shared", std::string(1, writer))) return 2;
    if (readProfileValue(ini, kSection, keyName(writer, i)) != value) return 3;
  }
  return 0;
}

// Child body: every snapshot is the original head, at most one section of
// ours, and whole lines only.
int runReader(const std::string& ini) {
  for (int round = 0; round < 400; ++round) {
    const std::string text = test::readFile(ini);
    if (!text.starts_with(kOriginal) || text.back() != '\n') return 4;
    std::istringstream lines(text);
    std::string line;
    int headers = 0;
    while (std::getline(lines, line)) {
      if (line == "[VideoCorvane Configuration]") {
        ++headers;
      } else if (line.find('=') == std::string::npos && !line.starts_with('[') &&
                 !line.starts_with(';')) {
        return 5;
      }
    }
    if (headers > 1) return 6;
  }
  return 0;
}

pid_t spawn(int (*body)(const std::string&, char), const std::string& ini, char writer) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body(ini, writer));
  return pid;
}

int exitCodeOf(pid_t pid) {
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

TEST(ProfileConcurrency, WritersInTwoProcessesLoseNothing) {
  test::TempDir dir;
  const std::string ini = dir / "VideoCorvane.ini";
  test::writeFile(ini, std::string(kOriginal));

  std::vector<pid_t> children;
  children.push_back(spawn(runWriter, ini, 'A'));
  children.push_back(spawn(runWriter, ini, 'B'));
  children.push_back(spawn([](const std::string& path, char) { return runReader(path); }, ini, 0));
  for (pid_t child : children) {
    ASSERT_GT(child, 0);
    EXPECT_EQ(exitCodeOf(child), 0) << "child " << child;
  }

  for (char writer : {'A', 'B'}) {
    for (int i = 0; i < kWritesPerWriter; ++i) {
      EXPECT_EQ(readProfileValue(ini, kSection, keyName(writer, i)), std::to_string(i * 7))
          << keyName(writer, i);
    }
  }
  const auto shared = readProfileValue(ini, kSection, "Shared");
  EXPECT_TRUE(shared == "A" || shared == "B");
  EXPECT_EQ(readProfileValue(ini, "Other", "X"), "1");
  EXPECT_TRUE(
      test::readFile(ini).starts_with(std::string(kOriginal) + "[VideoCorvane Configuration]\n"));
}

}  // namespace
}  // namespace corvane::platform
