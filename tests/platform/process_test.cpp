// Finding a program on PATH the way the preview launch needs it: the first
// directory that holds it wins, and "Name.exe" finds the program file.
#include "platform/process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "support/fake_programs.h"
#include "support/system.h"
#include "support/temp_dir.h"

namespace corvane::platform {
namespace {

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

}  // namespace
}  // namespace corvane::platform
