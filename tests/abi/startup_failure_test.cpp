// The output device's start-up failure, through the real plug-in: a host
// that cannot give the playback engine its frame buffers sees the warning
// dialog with the reason, and its process ends with status 1, since it could
// not go on without the device it asked for.
#include <gtest/gtest.h>

#include "abi/plugin_process.h"
#include "host/plugin_loader.h"
#include "support/address_space.h"

namespace corvane::abi {
namespace {

TEST(StartupFailure, NoMemoryForTheFrameBuffersShowsTheWarningAndEndsTheHost) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer's shadow memory cannot live under an address-space limit";
#endif
  Sandbox box;
  const auto scriptPath = box.dir() / "dialogs.txt";
  const auto logPath = box.dir() / "dialogs.log";
  box.writeFile(scriptPath, "");
  const ChildOutcome outcome =
      runWithPlugin(box.environment({{"CORVANE_DIALOGS", "script:" + scriptPath.string()},
                                     {"CORVANE_DIALOG_LOG", logPath.string()}}),
                    [](const host::AvfileApi& api) {
                      // Room for the dialog, none for twenty frames of 691,200 bytes.
                      if (!corvane::testing::leaveOnlyAddressSpace(3u << 20)) return 5;
                      host::RecordBuffer descriptor(324);
                      descriptor.setU32(0, 324);
                      api.AVFILE_QueryInterfaceSink(descriptor.data());
                      return 0;  // not reached: the failure ends the process
                    });
  EXPECT_TRUE(outcome.exited) << "signal " << outcome.signal;
  EXPECT_EQ(outcome.exitCode, 1);
  const auto log = box.readLines(logPath);
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[0], "open 103");
  EXPECT_EQ(log[1], "text 103 1008 Error in startup : Not enough memory");
  EXPECT_EQ(log.back(), "close 103 0");
}

}  // namespace
}  // namespace corvane::abi
