// The preview programs' life beyond what tests/abi sees through the plug-in:
// the wait on the given clock, reaping, dropping, and what the child inherits.
#include "preview/preview_process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/error.h"
#include "support/fake_clock.h"
#include "support/fake_programs.h"
#include "support/temp_dir.h"

namespace corvane::preview {
namespace {

using corvane::testing::eventually;
using corvane::testing::FakeClock;
using corvane::testing::ScopedPath;
using corvane::testing::TempDir;
using corvane::testing::writeScript;

class PreviewProcessTest : public ::testing::Test {
 protected:
  // The fake programs' directory comes first; the system's stays for sleep.
  PreviewProcessTest() : path_(dir_.path()) {
    ::setenv("PATH", (dir_.path() + ":" + path_.saved()).c_str(), 1);
  }

  std::string program(const std::string& name, const std::string& body) {
    writeScript(dir_ / name, body);
    return dir_ / name;
  }
  bool exists(const std::string& name) const { return std::filesystem::exists(dir_ / name); }
  static bool processGone(std::int32_t pid) {
    return !std::filesystem::exists("/proc/" + std::to_string(pid));
  }

  TempDir dir_;
  ScopedPath path_;
};

TEST_F(PreviewProcessTest, ProgramThatIgnoresTheCloseRequestIsKilledAfterTheTimeout) {
  program("ScryIn", "trap '' TERM\n: > \"" + (dir_ / "ready") + "\"\nexec sleep 1000");
  FakeClock clock;
  auto preview = PreviewProcess::launch(kScryIn, clock);
  ASSERT_TRUE(eventually([&] { return exists("ready"); }));
  preview->stop(std::chrono::milliseconds(1000));
  ASSERT_TRUE(preview->exitStatus().has_value());
  EXPECT_TRUE(preview->exitStatus()->signalled);
  EXPECT_EQ(preview->exitStatus()->value, SIGKILL);
  std::uint64_t slept = 0;
  for (std::uint32_t ms : clock.sleeps) slept += ms;
  EXPECT_EQ(slept, 1000u) << "the wait runs on the given clock, to the whole time-out and no further";
  EXPECT_TRUE(processGone(preview->processId()));
}

// A program missing from PATH: tests/abi. One that is there but cannot run
// must give the same message.
TEST_F(PreviewProcessTest, UnstartableProgramRaisesTheLaunchMessage) {
  std::ofstream(dir_ / "Broken") << "\x7fgarbage";  // no interpreter line and no binary
  std::filesystem::permissions(dir_ / "Broken", std::filesystem::perms::owner_all);
  try {
    PreviewProcess::launch("Broken.exe");
    ADD_FAILURE() << "launched";
  } catch (const EngineError& error) {
    EXPECT_STREQ(error.what(),
                 "Could not launch the application. Your Corvane installation is probably corrupted");
  }
}

TEST_F(PreviewProcessTest, FinishedProgramIsReapedAndReadsAsNotRunning) {
  program("ScryOut", "exit 3");
  auto preview = PreviewProcess::launch(kScryOut);
  std::int32_t pid = preview->processId();
  ASSERT_TRUE(eventually([&] { return !preview->isRunning(); }));
  ASSERT_TRUE(preview->exitStatus().has_value());
  EXPECT_FALSE(preview->exitStatus()->signalled);
  EXPECT_EQ(preview->exitStatus()->value, 3);
  EXPECT_TRUE(processGone(pid)) << "a zombie is left behind";
  EXPECT_EQ(closePreview(preview), 0);
  EXPECT_EQ(preview, nullptr);
}

TEST_F(PreviewProcessTest, ClosingOrDroppingARunningPreviewEndsIt) {
  program("ScryOut", "exec sleep 1000");
  auto preview = PreviewProcess::launch(kScryOut);
  std::int32_t pid = preview->processId();
  EXPECT_EQ(closePreview(preview), 1);
  EXPECT_EQ(preview, nullptr);
  EXPECT_TRUE(processGone(pid));

  std::unique_ptr<PreviewProcess> none;
  EXPECT_EQ(closePreview(none), 0);

  preview = PreviewProcess::launch(kScryOut);
  pid = preview->processId();
  preview.reset();
  EXPECT_TRUE(processGone(pid)) << "a preview dropped while running goes on running";
}

// And with none of the host's descriptors: an inherited one would keep the
// plug-in's file locks alive in the preview.
TEST_F(PreviewProcessTest, ProgramRunsWithoutArgumentsOrDescriptorsInTheHostsEnvironmentAndDirectory) {
  ::setenv("CORVANE_PREVIEW_PROBE", "seen", 1);
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> held(std::fopen((dir_ / "held").c_str(), "w"), std::fclose);
  ASSERT_NE(held, nullptr);
  const std::string fd = "/proc/$$/fd/" + std::to_string(::fileno(held.get()));
  program("ScryOut", "[ -e " + fd +
                         " ] && f=leaked || f=closed\necho \"$# $CORVANE_PREVIEW_PROBE $f $(pwd)\" > \"" +
                         (dir_ / "out") + "\"");
  auto preview = PreviewProcess::launch(kScryOut);
  ASSERT_TRUE(eventually([&] { return !preview->isRunning(); }));
  ::unsetenv("CORVANE_PREVIEW_PROBE");
  std::ifstream in(dir_ / "out");
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "0 seen closed " + std::filesystem::current_path().string());
}

}  // namespace
}  // namespace corvane::preview
