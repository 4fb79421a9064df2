// The guard's outcomes for exceptions other than the system's own error: a
// processor fault, and a raised text shown under the export's name, are
// checked through the real plug-in (tests/abi).
#include "exports/report_error.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace corvane::exports {
namespace {

TEST(ReportError, PassesTheResultThroughOrShowsTheTextUnderTheExportsName) {
  const std::filesystem::path log =
      std::filesystem::temp_directory_path() / ("corvane-guard-" + std::to_string(getpid()));
  std::filesystem::remove(log);
  setenv("CORVANE_MESSAGE_LOG", log.c_str(), 1);
  EXPECT_EQ(reportError("AVFILE_Test", [] { return 7; }), 7);
  EXPECT_EQ(reportError("AVFILE_A", []() -> std::int32_t { throw std::runtime_error("detail"); }), 0);
  EXPECT_EQ(reportError("AVFILE_B", []() -> std::int32_t { throw 42; }), 0);
  unsetenv("CORVANE_MESSAGE_LOG");
  std::ostringstream text;
  text << std::ifstream(log).rdbuf();
  std::filesystem::remove(log);
  EXPECT_EQ(text.str(), "AVFILE_A\tUnknown Internal Error\nAVFILE_B\tUnknown Internal Error\n");
}

}  // namespace
}  // namespace corvane::exports
