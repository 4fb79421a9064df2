// The terminal front end at a pseudo-terminal: keys typed in, the screen read
// back, the dialog's outcome checked in the child that ran it.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/pty_child.h"
#include "toolkit/dialog_host.h"
#include "toolkit/dialog_test_support.h"

namespace corvane::tk {
namespace {

bool has(const std::vector<std::string>& events, const std::string& event) {
  return std::find(events.begin(), events.end(), event) != events.end();
}

TEST(TtyFrontEnd, KeysMoveTheFocusClickStepTheSliderAndTypeANumber) {
  testing::PtyChild child({{"CORVANE_DIALOGS", "tty"}, {"CORVANE_DIALOG_LOG", ""}}, [] {
    mFLT64 phase(0.0);
    TestProcedure procedure(phase);
    const std::int32_t result = detail::runDialogFromEnvironment(testDialog(), procedure);
    if (result != 5) return 10;
    if (phase.Get() != -7.5) return 11;
    if (!has(procedure.events, "command 12") || has(procedure.events, "command 13")) return 12;
    if (!has(procedure.events, "changed 10.000000")) return 13;
    return 0;
  });
  ASSERT_TRUE(child.waitFor("< Close >")) << child.allOutput();
  EXPECT_NE(child.takeOutput().find(">(*) Left"), std::string::npos);

  child.type("\x1b[B ");  // down to "Right", then click it
  ASSERT_TRUE(child.waitFor(">(*) Right")) << child.takeOutput();
  child.type("\t\t\t\x1b[C\x1b[C");  // past the boxes to the slider, two steps right
  ASSERT_TRUE(child.waitFor("] 2 ")) << child.takeOutput();
  child.type("\x1b[5~");  // a page up: to the next multiple of ten
  ASSERT_TRUE(child.waitFor("] 10 ")) << child.takeOutput();
  child.type("\t-7x.5");  // into the number box; the letter is not taken
  ASSERT_TRUE(child.waitFor(">[-7.5_")) << child.takeOutput();
  child.type("\r");
  ASSERT_TRUE(child.waitFor("] -7.5 ")) << child.takeOutput();
  child.type("\x1b");
  const int status = child.wait();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace corvane::tk
