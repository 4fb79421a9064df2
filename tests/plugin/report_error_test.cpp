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

class MessageLog {
 public:
  MessageLog()
      : path_(std::filesystem::temp_directory_path() / ("corvane-guard-" + std::to_string(getpid()))) {
    std::filesystem::remove(path_);
    setenv("CORVANE_MESSAGE_LOG", path_.c_str(), 1);
  }
  ~MessageLog() {
    unsetenv("CORVANE_MESSAGE_LOG");
    std::filesystem::remove(path_);
  }
  std::string text() const {
    std::ifstream in(path_);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
  }

 private:
  std::filesystem::path path_;
};

// Opaque to the optimiser, so the write really happens at run time.
volatile std::uintptr_t badAddress = 16;

__attribute__((noinline, no_sanitize("undefined", "address"))) std::int32_t writeThroughBadAddress() {
  *reinterpret_cast<volatile int*>(badAddress) = 1;
  return 1;
}

TEST(ReportError, PassesTheBodysResultThroughWhenNothingFails) {
  MessageLog log;
  EXPECT_EQ(reportError("AVFILE_Test", [] { return 7; }), 7);
  EXPECT_EQ(log.text(), "");
}

TEST(ReportError, ShowsTheRaisedTextUnderTheExportsName) {
  MessageLog log;
  EXPECT_EQ(reportError("AVFILE_ReadImageFrame",
                        []() -> std::int32_t { throw EngineError("This is not an QVF file."); }),
            0);
  EXPECT_EQ(log.text(), "AVFILE_ReadImageFrame\tThis is not an QVF file.\n");
}

TEST(ReportError, AnyOtherFailureIsAnUnknownInternalError) {
  MessageLog log;
  EXPECT_EQ(reportError("AVFILE_A", []() -> std::int32_t { throw std::runtime_error("detail"); }), 0);
  EXPECT_EQ(reportError("AVFILE_B", []() -> std::int32_t { throw 42; }), 0);
  EXPECT_EQ(reportError("AVFILE_C", [] { return writeThroughBadAddress(); }), 0);
  EXPECT_EQ(log.text(),
            "AVFILE_A\tUnknown Internal Error\nAVFILE_B\tUnknown Internal Error\nAVFILE_C\tUnknown Internal "
            "Error\n");
}

}  // namespace
}  // namespace corvane::exports
