// corvane-host as a user runs it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "abi/plugin_process.h"

namespace corvane::abi {
namespace {

struct HostRun {
  int exitCode = -1;
  std::string out;
};

HostRun runHost(const Sandbox& box, const std::string& arguments) {
  std::string command;
  for (const auto& [key, value] : box.environment()) command += key + "='" + value + "' ";
  command += std::string(CORVANE_HOST_PATH) + " --plugin " + CORVANE_PLUGIN_PATH + " " + arguments + " 2>&1";
  HostRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.out.append(buffer, n);
  const int status = pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(HostTool, PrintsTheFourDescriptors) {
  Sandbox box;
  const HostRun run = runHost(box, "descriptors");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  for (const char* expected : {"\"Video Corvane QVF File Input\"", "\"Video Corvane QVF File Output\"",
                               "\"Video Corvane Output Device\"", "\"Video Corvane Record Device\"",
                               "6155CBD3-C294-11d2-BA18-004005A189AE", "\"Video Corvane - qvf\""})
    EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
}

TEST(HostTool, ShowsTheSettingsItLoaded) {
  Sandbox box;
  const HostRun run = runHost(box, "settings --show");
  EXPECT_EQ(run.exitCode, 0) << run.out;
  EXPECT_NE(run.out.find("VideoMode=1"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("HYPK_SDI=2"), std::string::npos) << run.out;
}

TEST(HostTool, NamesTheExportAPluginLacks) {
  Sandbox box;
  std::string command =
      std::string(CORVANE_HOST_PATH) + " --plugin " + CORVANE_STUB_PLUGIN_PATH + " descriptors 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buffer[1024];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  const int status = pclose(pipe);
  EXPECT_NE(WEXITSTATUS(status), 0);
  EXPECT_NE(out.find("does not export AVFILE_CloseInterfaceReading"), std::string::npos) << out;
}

}  // namespace
}  // namespace corvane::abi
