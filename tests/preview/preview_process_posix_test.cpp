// What only POSIX shows of a preview program: no zombie is left behind, and
// the child holds none of our descriptors (seen through /proc).
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "preview/preview_process.h"
#include "support/fake_programs.h"
#include "support/temp_dir.h"

namespace corvane::preview {
namespace {

using corvane::testing::eventually;
using corvane::testing::ScopedPath;
using corvane::testing::TempDir;
using corvane::testing::writeScript;

class PreviewProcessPosixTest : public ::testing::Test {
 protected:
  // The fake programs' directory comes first; the system's stays for sleep.
  PreviewProcessPosixTest() : path_(dir_.path()) {
    ::setenv("PATH", (dir_.path() + ":" + path_.saved()).c_str(), 1);
  }

  void program(const std::string& name, const std::string& body) { writeScript(dir_ / name, body); }
  static bool processGone(std::int32_t pid) {
    return !std::filesystem::exists("/proc/" + std::to_string(pid));
  }

  TempDir dir_;
  ScopedPath path_;
};

TEST_F(PreviewProcessPosixTest, NoProgramIsLeftBehindAsAZombieOrRunning) {
  program("ScryOut", "exit 3");
  auto preview = PreviewProcess::launch(kScryOut);
  std::int32_t pid = preview->processId();
  ASSERT_TRUE(eventually([&] { return !preview->isRunning(); }));
  EXPECT_TRUE(processGone(pid)) << "a zombie is left behind";

  program("ScryOut", "exec sleep 1000");
  preview = PreviewProcess::launch(kScryOut);
  pid = preview->processId();
  EXPECT_EQ(closePreview(preview), 1);
  EXPECT_TRUE(processGone(pid));

  preview = PreviewProcess::launch(kScryOut);
  pid = preview->processId();
  preview.reset();
  EXPECT_TRUE(processGone(pid)) << "a preview dropped while running goes on running";
}

// An inherited descriptor would keep the plug-in's file locks alive in the
// preview.
TEST_F(PreviewProcessPosixTest, ProgramInheritsNoDescriptor) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> held(std::fopen((dir_ / "held").c_str(), "w"), std::fclose);
  ASSERT_NE(held, nullptr);
  const std::string fd = "/proc/$$/fd/" + std::to_string(::fileno(held.get()));
  program("ScryOut", "[ -e " + fd + " ] && f=leaked || f=closed\necho \"$f\" > \"" + (dir_ / "out") + "\"");
  auto preview = PreviewProcess::launch(kScryOut);
  ASSERT_TRUE(eventually([&] { return !preview->isRunning(); }));
  std::ifstream in(dir_ / "out");
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "closed");
}

}  // namespace
}  // namespace corvane::preview
