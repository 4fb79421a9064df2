// The guard's three outcomes. A processor fault inside a guarded export is
// checked through the real plug-in (tests/abi), so here only exceptions.
#include "exports/report_error.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "engine/error.h"

namespace corvane::exports {
namespace {

TEST(ReportError, PassesTheResultThroughOrShowsTheTextUnderTheExportsName) {
  const std::filesystem::path log =
      std::filesystem::temp_directory_path() / ("corvane-guard-" + std::to_string(getpid()));
  std::filesystem::remove(log);
  setenv("CORVANE_MESSAGE_LOG", log.c_str(), 1);
  EXPECT_EQ(reportError("AVFILE_Test", [] { return 7; }), 7);
  EXPECT_EQ(reportError("AVFILE_ReadImageFrame",
                        []() -> std::int32_t { throw EngineError("This is not an QVF file."); }),
            0);
  EXPECT_EQ(reportError("AVFILE_A", []() -> std::int32_t { throw std::runtime_error("detail"); }), 0);
  EXPECT_EQ(reportError("AVFILE_B", []() -> std::int32_t { throw 42; }), 0);
  unsetenv("CORVANE_MESSAGE_LOG");
  std::ostringstream text;
  text << std::ifstream(log).rdbuf();
  std::filesystem::remove(log);
  EXPECT_EQ(text.str(),
            "AVFILE_ReadImageFrame\tThis is not an QVF file.\nAVFILE_A\tUnknown Internal Error\n"
            "AVFILE_B\tUnknown Internal Error\n");
}

}  // namespace
}  // namespace corvane::exports
