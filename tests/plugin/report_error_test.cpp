// The guard's outcomes for exceptions other than the system's own error: a
// processor fault, and a raised text shown under the export's name, are
// checked through the real plug-in (tests/abi).
#include "exports/report_error.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/system.h"
#include "support/temp_dir.h"

namespace corvane::exports {
namespace {

TEST(ReportError, PassesTheResultThroughOrShowsTheTextUnderTheExportsName) {
  const testing::TempDir dir;
  const std::string log = dir / "messages.log";
  {
    const testing::ScopedEnvironment logged("CORVANE_MESSAGE_LOG", log);
    EXPECT_EQ(reportError("AVFILE_Test", [] { return 7; }), 7);
    EXPECT_EQ(reportError("AVFILE_A", []() -> std::int32_t { throw std::runtime_error("detail"); }), 0);
    EXPECT_EQ(reportError("AVFILE_B", []() -> std::int32_t { throw 42; }), 0);
  }
  std::ostringstream text;
  text << std::ifstream(log).rdbuf();
  EXPECT_EQ(text.str(), "AVFILE_A\tUnknown Internal Error\nAVFILE_B\tUnknown Internal Error\n");
}

}  // namespace
}  // namespace corvane::exports
