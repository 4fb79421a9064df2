// Finding a program on PATH the way the preview launch needs it (the first
// directory that holds it wins, and "Name.exe" finds the program file), and a
// child's stop: the close request, then the kill after the time-out.
#include "platform/process.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/fake_clock.h"
#include "support/fake_programs.h"
#include "support/system.h"
#include "support/temp_dir.h"

namespace corvane::platform {
namespace {

using corvane::testing::eventually;
using corvane::testing::FakeClock;
using corvane::testing::ScopedPath;
using corvane::testing::writeScript;

// The program file "Name.exe" stands for on this system.
std::string programFile(const testing::TempDir& dir, const std::string& name) {
  return dir / (name + CORVANE_EXE_SUFFIX);
}

// The same file, however the system spells its path.
::testing::AssertionResult foundAt(const std::optional<std::string>& found,
                                   const std::optional<std::string>& file) {
  if (!found && !file) return ::testing::AssertionSuccess();
  if (!found || !file) return ::testing::AssertionFailure() << "found " << found.value_or("nothing");
  std::error_code ec;
  if (std::filesystem::equivalent(*found, *file, ec)) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "found " << *found << " instead of " << *file;
}

TEST(SearchProgram, FindsTheProgramInTheFirstDirectoryAlongThePathThatHoldsIt) {
  testing::TempDir a, b;
  writeScript(programFile(b, "Tool"), "exit 0");
  writeScript(programFile(a, "Both"), "exit 0");
  writeScript(programFile(b, "Both"), "exit 0");
  const char separator = testing::pathListSeparator();
  ScopedPath path(a.path() + "-missing" + separator + a.path() + separator + b.path());

  struct Case {
    const char* name;
    std::optional<std::string> found;
  };
  const Case cases[] = {
      {"Tool.exe", programFile(b, "Tool")},
      {"Tool.EXE", programFile(b, "Tool")},
      {"Both.exe", programFile(a, "Both")},
      {"Missing.exe", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_TRUE(foundAt(searchProgram(c.name), c.found)) << c.name;
  // A name with a directory part is taken as it is, PATH aside.
  EXPECT_TRUE(foundAt(searchProgram(b / "Both.exe"), programFile(b, "Both")));
}

// What stop() gives a child it had to kill.
#if defined(_WIN32)
constexpr ExitStatus kKilled{.signalled = false, .value = 0};  // TerminateProcess's code
#else
constexpr ExitStatus kKilled{.signalled = true, .value = SIGKILL};
#endif
// What the stand-in exits with when it obeys the close request.
constexpr int kClosedExitCode = 42;

class ChildProcessTest : public ::testing::Test {
 protected:
  ChildProcessTest() { std::filesystem::copy_file(CORVANE_STAND_IN_PATH, programFile(dir_, "Child")); }
  // The stand-in started by its path, told what to do; ready once it handles
  // the close request as told.
  ChildProcess start(std::vector<std::string> environment) {
    environment.push_back("CORVANE_STAND_IN_READY=" + (dir_ / "ready"));
    SpawnError error = SpawnError::None;
    ChildProcess child = ChildProcess::start(dir_ / "Child.exe", error, environment);
    EXPECT_EQ(error, SpawnError::None);
    return child;
  }
  bool ready() const { return std::filesystem::exists(dir_ / "ready"); }

  testing::TempDir dir_;
};

TEST_F(ChildProcessTest, StopSaysWhetherTheChildHadEndedClosedOrWasKilled) {
  ChildProcess ended = start({"CORVANE_STAND_IN_EXIT=5"});
  ASSERT_TRUE(ended.started());
  ASSERT_TRUE(eventually([&] { return !ended.running(); }));
  EXPECT_EQ(ended.stop(std::chrono::seconds(60)), StopOutcome::AlreadyEnded);
  ASSERT_TRUE(ended.exitStatus().has_value());
  EXPECT_EQ(ended.exitStatus()->value, 5);

  ChildProcess obeying = start({"CORVANE_STAND_IN_CLOSE=obey"});
  ASSERT_TRUE(eventually([&] { return ready(); }));
  EXPECT_TRUE(obeying.running());
  EXPECT_EQ(obeying.stop(std::chrono::seconds(60)), StopOutcome::Closed);
  ASSERT_TRUE(obeying.exitStatus().has_value());
  EXPECT_FALSE(obeying.exitStatus()->signalled);
  EXPECT_EQ(obeying.exitStatus()->value, kClosedExitCode);
  EXPECT_FALSE(obeying.running());

  std::filesystem::remove(dir_ / "ready");
  ChildProcess ignoring = start({"CORVANE_STAND_IN_CLOSE=ignore"});
  ASSERT_TRUE(eventually([&] { return ready(); }));
  FakeClock clock;
  EXPECT_EQ(ignoring.stop(std::chrono::milliseconds(1000), clock), StopOutcome::Killed);
  ASSERT_TRUE(ignoring.exitStatus().has_value());
  EXPECT_EQ(ignoring.exitStatus()->signalled, kKilled.signalled);
  EXPECT_EQ(ignoring.exitStatus()->value, kKilled.value);
  EXPECT_FALSE(ignoring.running());
}

TEST_F(ChildProcessTest, AMissingProgramIsNotFoundAndLeavesNoChild) {
  SpawnError error = SpawnError::None;
  const ChildProcess child = ChildProcess::start(dir_ / "Missing.exe", error);
  EXPECT_EQ(error, SpawnError::NotFound);
  EXPECT_FALSE(child.started());
}

}  // namespace
}  // namespace corvane::platform
