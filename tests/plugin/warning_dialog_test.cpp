// The warning dialog's procedure against a window of its own: the longest
// text it shows, and its guard. Its caption, id and what OK and cancel store
// are checked through the real plug-in in tests/abi.
#include "plugin/warning_dialog.h"

#include <gtest/gtest.h>

#include <map>

#include "engine/error.h"
#include "support/fake_toolkit.h"

namespace corvane::plugin {
namespace {

class Window : public tk::DialogWindow {
 public:
  bool failTexts = false;
  std::map<std::int32_t, std::string> texts;
  std::map<std::int32_t, bool> ticks;

  void setItemText(std::int32_t id, std::string_view text) override {
    if (failTexts) throw EngineError("no such window");
    texts[id] = std::string(text);
  }
  bool isChecked(std::int32_t id) const override { return ticks.count(id) != 0 && ticks.at(id); }
  void setChecked(std::int32_t id, bool checked) override { ticks[id] = checked; }
  tk::DialogRect itemRect(std::int32_t) const override { return {}; }
  void endDialog(std::int32_t) override {}
  void onToolkitMessage(std::int32_t, tk::ToolkitUI*) override {}
};

TEST(WarningDialogProcedure, ShowsAtMostTheBufferAndAFailureUnderItsCaption) {
  testing::FakeToolkit toolkit;
  std::string shown;
  toolkit.onDialog = [&](const tk::DialogTemplate&, tk::DialogProcedure& procedure) {
    Window window;
    window.ticks[kDoNotShowAgainId] = true;
    procedure.onOpen(window);
    shown = window.texts[kWarningTextId];
    procedure.onCommand(window, tk::kCommandOk);
    return 0;
  };
  EXPECT_TRUE(showWarningDialog(std::string(1500, 'w')));
  EXPECT_EQ(shown, std::string(1023, 'w'));

  Window failing;
  failing.failTexts = true;
  WarningDialogProcedure procedure("text");
  ::testing::internal::CaptureStderr();
  procedure.onOpen(failing);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "VeltrixWarningCallback: no such window\n");
}

}  // namespace
}  // namespace corvane::plugin
