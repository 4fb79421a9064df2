// Message boxes from many threads at once: every one lands whole, as
// "caption: text" on stderr and "caption<TAB>text" in the log. (The log lines
// of the plug-in's own boxes are checked through the loaded plug-in.)
#include "platform/message.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/system.h"
#include "support/temp_dir.h"

namespace corvane::platform {
namespace {

TEST(MessageBox, ConcurrentBoxesNeverMixTheirLines) {
  testing::TempDir dir;
  std::optional<testing::ScopedEnvironment> logged(std::in_place, "CORVANE_MESSAGE_LOG",
                                                   dir / "messages.log");
  const std::string padding(300, 'x');
  ::testing::internal::CaptureStderr();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t, &padding] {
      for (int i = 0; i < 50; ++i) showMessageBox("T" + std::to_string(t), std::to_string(i) + padding);
    });
  for (auto& thread : threads) thread.join();
  logged.reset();
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("\nT3: 49" + padding + "\n"), std::string::npos);

  std::istringstream lines(testing::readFile(dir / "messages.log"));
  std::set<std::string> seen;
  for (std::string line; std::getline(lines, line);) {
    ASSERT_TRUE(line.starts_with('T') && line.ends_with(padding)) << line;
    seen.insert(line.substr(0, line.size() - padding.size()));
  }
  EXPECT_EQ(seen.size(), 200u);
  EXPECT_EQ(seen.count("T3\t49"), 1u);
}

}  // namespace
}  // namespace corvane::platform
