// The preview programs' life beyond what tests/abi sees through the plug-in:
// the wait on the given clock, the close request, reaping, and what the child
// inherits. The program is the stand-in, told by its environment what to do.
#include "preview/preview_process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <list>
#include <string>

#include "engine/error.h"
#include "support/fake_clock.h"
#include "support/fake_programs.h"
#include "support/system.h"
#include "support/temp_dir.h"

namespace corvane::preview {
namespace {

using corvane::testing::eventually;
using corvane::testing::FakeClock;
using corvane::testing::ScopedEnvironment;
using corvane::testing::ScopedPath;
using corvane::testing::TempDir;

// What stop() gives a child it had to kill.
#if defined(_WIN32)
constexpr platform::ExitStatus kKilled{.signalled = false, .value = 0};  // TerminateProcess's code
#else
constexpr platform::ExitStatus kKilled{.signalled = true, .value = SIGKILL};
#endif
// What the stand-in exits with when it obeys the close request.
constexpr int kClosedExitCode = 42;

class PreviewProcessTest : public ::testing::Test {
 protected:
  // The stand-in's directory comes first on the path.
  PreviewProcessTest() : path_(dir_.path()) {
    corvane::testing::setEnvironmentValue(
        "PATH", dir_.path() + corvane::testing::pathListSeparator() + path_.saved());
  }

  // The stand-in as ScryIn or ScryOut, with what it does when started.
  void install(const std::string& name) {
    std::filesystem::copy_file(CORVANE_STAND_IN_PATH, dir_ / (name + CORVANE_EXE_SUFFIX),
                               std::filesystem::copy_options::overwrite_existing);
  }
  void tell(const std::string& name, const std::string& value) { told_.emplace_back(name, value); }
  bool exists(const std::string& name) const { return std::filesystem::exists(dir_ / name); }

  TempDir dir_;
  ScopedPath path_;
  std::list<ScopedEnvironment> told_;
};

TEST_F(PreviewProcessTest, ProgramThatIgnoresTheCloseRequestIsKilledAfterTheTimeout) {
  install("ScryIn");
  tell("CORVANE_STAND_IN_CLOSE", "ignore");
  tell("CORVANE_STAND_IN_READY", dir_ / "ready");
  FakeClock clock;
  auto preview = PreviewProcess::launch(kScryIn, clock);
  ASSERT_TRUE(eventually([&] { return exists("ready"); }));
  preview->stop(std::chrono::milliseconds(1000));
  ASSERT_TRUE(preview->exitStatus().has_value());
  EXPECT_EQ(preview->exitStatus()->signalled, kKilled.signalled);
  EXPECT_EQ(preview->exitStatus()->value, kKilled.value);
  std::uint64_t slept = 0;
  for (std::uint32_t ms : clock.sleeps) slept += ms;
  EXPECT_EQ(slept, 1000u) << "the wait runs on the given clock, to the whole time-out and no further";
  EXPECT_FALSE(preview->isRunning());
}

// The wait is on the system's clock here, and the time-out long: a program
// that was killed instead would read as killed.
TEST_F(PreviewProcessTest, ProgramThatObeysTheCloseRequestEndsByItself) {
  install("ScryOut");
  tell("CORVANE_STAND_IN_CLOSE", "obey");
  tell("CORVANE_STAND_IN_READY", dir_ / "ready");
  auto preview = PreviewProcess::launch(kScryOut);
  ASSERT_TRUE(eventually([&] { return exists("ready"); }));
  preview->stop(std::chrono::seconds(60));
  ASSERT_TRUE(preview->exitStatus().has_value());
  EXPECT_FALSE(preview->exitStatus()->signalled);
  EXPECT_EQ(preview->exitStatus()->value, kClosedExitCode);
}

// A program missing from PATH: tests/abi. One that is there but cannot run
// must give the same message.
TEST_F(PreviewProcessTest, UnstartableProgramRaisesTheLaunchMessage) {
  const auto broken = dir_ / (std::string("Broken") + CORVANE_EXE_SUFFIX);
  std::ofstream(broken) << "\x7fgarbage";  // no interpreter line and no binary
  std::filesystem::permissions(broken, std::filesystem::perms::owner_all);
  try {
    PreviewProcess::launch("Broken.exe");
    ADD_FAILURE() << "launched";
  } catch (const EngineError& error) {
    EXPECT_STREQ(error.what(),
                 "Could not launch the application. Your Corvane installation is probably corrupted");
  }
}

TEST_F(PreviewProcessTest, FinishedProgramIsReapedAndReadsAsNotRunning) {
  install("ScryOut");
  tell("CORVANE_STAND_IN_EXIT", "3");
  auto preview = PreviewProcess::launch(kScryOut);
  ASSERT_TRUE(eventually([&] { return !preview->isRunning(); }));
  ASSERT_TRUE(preview->exitStatus().has_value());
  EXPECT_FALSE(preview->exitStatus()->signalled);
  EXPECT_EQ(preview->exitStatus()->value, 3);
  EXPECT_EQ(closePreview(preview), 0);
  EXPECT_EQ(preview, nullptr);
}

TEST_F(PreviewProcessTest, ClosingARunningPreviewStopsItAndReadsAsRunning) {
  install("ScryOut");
  auto preview = PreviewProcess::launch(kScryOut);
  EXPECT_EQ(closePreview(preview), 1);
  EXPECT_EQ(preview, nullptr);

  std::unique_ptr<PreviewProcess> none;
  EXPECT_EQ(closePreview(none), 0);
}

TEST_F(PreviewProcessTest, ProgramRunsWithoutArgumentsInTheHostsEnvironmentAndDirectory) {
  install("ScryOut");
  tell("CORVANE_PREVIEW_PROBE", "seen");
  tell("CORVANE_STAND_IN_REPORT", dir_ / "out");
  tell("CORVANE_STAND_IN_EXIT", "0");
  auto preview = PreviewProcess::launch(kScryOut);
  ASSERT_TRUE(eventually([&] { return !preview->isRunning(); }));
  std::ifstream in(dir_ / "out");
  std::string line;
  std::getline(in, line);
  EXPECT_EQ(line, "0 seen " + std::filesystem::current_path().string());
}

}  // namespace
}  // namespace corvane::preview
