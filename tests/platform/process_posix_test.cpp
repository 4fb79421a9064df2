// What makes a file a program on POSIX when PATH is searched: the execute
// bit and a regular file; the ".exe" a Windows name carries is dropped.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/process.h"
#include "support/fake_programs.h"
#include "support/temp_dir.h"

namespace corvane::platform {
namespace {

using corvane::testing::ScopedPath;
using corvane::testing::writeScript;

TEST(SearchProgramPosix, OnlyAnExecutableRegularFileIsAProgram) {
  testing::TempDir a, b;
  std::filesystem::create_directory(a / "Tool");  // a directory is no program
  testing::writeFile(a / "Plain", "not executable");
  testing::writeFile(b / "Plain", "not executable");
  writeScript(b / "Tool", "exit 0");
  writeScript(b / "Plain.sh", "exit 0");
  ScopedPath path("/nonexistent::" + a.path() + ":" + b.path());

  struct Case {
    const char* name;
    std::optional<std::string> found;
  };
  const Case cases[] = {
      {"Tool", b / "Tool"},
      {"Plain", std::nullopt},
      {"Plain.sh", b / "Plain.sh"},
      {".exe", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(searchProgram(c.name), c.found) << c.name;
}

}  // namespace
}  // namespace corvane::platform
