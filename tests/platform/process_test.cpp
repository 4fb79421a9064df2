// Finding a program on PATH the way the preview launch needs it.
#include "platform/process.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/fake_programs.h"
#include "support/temp_dir.h"

namespace corvane::platform {
namespace {

using corvane::testing::ScopedPath;
using corvane::testing::writeScript;

TEST(SearchProgram, FindsTheFirstExecutableFileAlongThePath) {
  testing::TempDir a, b;
  std::filesystem::create_directory(a / "Tool");  // a directory is no program
  testing::writeFile(b / "Plain", "not executable");
  writeScript(b / "Tool", "exit 0");
  writeScript(b / "Plain.sh", "exit 0");
  writeScript(a / "Both", "exit 0");
  writeScript(b / "Both", "exit 0");
  ScopedPath path("/nonexistent::" + a.path() + ":" + b.path());

  struct Case {
    const char* name;
    std::optional<std::string> found;
  };
  const Case cases[] = {
      {"Tool", b / "Tool"},          {"Tool.exe", b / "Tool"}, {"Tool.EXE", b / "Tool"},
      {"Both.exe", a / "Both"},      {"Plain", std::nullopt},  {"Plain.sh", b / "Plain.sh"},
      {"Missing.exe", std::nullopt}, {".exe", std::nullopt},   {"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(searchProgram(c.name), c.found) << c.name;
  // A name with a directory part is taken as it is, PATH aside.
  EXPECT_EQ(searchProgram(b / "Tool.exe"), b / "Tool");
}

}  // namespace
}  // namespace corvane::platform
