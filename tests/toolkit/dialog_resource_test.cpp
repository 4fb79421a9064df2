// The dialogs as resource-compiler source: what the Windows build compiles
// into the plug-in, from the same table the other front ends use.
#include "toolkit/dialog_resource.h"

#include <gtest/gtest.h>

#include <array>
#include <sstream>

#include "toolkit/dialog_test_support.h"

namespace corvane::tk {
namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

TEST(DialogResource, EachControlAtItsPlaceWithItsNativeKind) {
  const auto rc = lines(dialogResource(testDialog()));
  EXPECT_EQ(
      rc,
      (std::vector<std::string>{
          "900 DIALOGEX 0, 0, 210, 130",
          "STYLE DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU",
          "CAPTION \"Test\"",
          "FONT 8, \"Arial\"",
          "BEGIN",
          "  CONTROL \"Source\", -1, \"BUTTON\", BS_GROUPBOX | WS_GROUP | WS_CHILD | WS_VISIBLE, 5, 3, 200, "
          "60",
          // A run of radio buttons is one group: only its first starts one.
          "  CONTROL \"Left\", 11, \"BUTTON\", BS_AUTORADIOBUTTON | WS_TABSTOP | WS_GROUP | WS_CHILD | "
          "WS_VISIBLE, 10, 14, 60, 10",
          "  CONTROL \"Right\", 12, \"BUTTON\", BS_AUTORADIOBUTTON | WS_TABSTOP | WS_CHILD | WS_VISIBLE, "
          "10, 24, 60, 10",
          "  CONTROL \"Keep\", 13, \"BUTTON\", BS_AUTOCHECKBOX | WS_TABSTOP | WS_GROUP | WS_CHILD | "
          "WS_VISIBLE, 10, 40, 80, 10",
          "  CONTROL \"3\", 14, \"BUTTON\", BS_AUTOCHECKBOX | BS_PUSHLIKE | WS_TABSTOP | WS_GROUP | "
          "WS_CHILD | WS_VISIBLE, 100, 14, 30, 12",
          "  CONTROL \"Static\", 20, \"STATIC\", SS_LEFT | WS_GROUP | WS_CHILD | WS_VISIBLE, 10, 70, 150, 8",
          "  CONTROL \"\", 30, \"STATIC\", SS_BLACKFRAME | WS_GROUP | WS_CHILD | WS_VISIBLE, 10, 90, 120, 10",
          "  CONTROL \"\", 31, \"STATIC\", SS_BLACKFRAME | WS_GROUP | WS_CHILD | WS_VISIBLE, 140, 90, 30, 10",
          "  CONTROL \"Close\", 2, \"BUTTON\", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP | WS_CHILD | "
          "WS_VISIBLE, 150, 110, 40, 14",
          "END",
      }));
}

TEST(DialogResource, TwoRunsOfRadioButtonsAreTwoGroupsAndTextsAreQuoted) {
  static constexpr std::array<ControlTemplate, 5> controls{{
      {1, ControlKind::RadioButton, {0, 0, 10, 10}, "a"},
      {2, ControlKind::RadioButton, {0, 10, 10, 10}, "b"},
      {3, ControlKind::StaticText, {0, 20, 10, 10}, "say \"hi\" \\ now"},
      {4, ControlKind::RadioButton, {0, 30, 10, 10}, "c"},
      {5, ControlKind::PushButton, {0, 40, 10, 10}, "OK"},
  }};
  static constexpr DialogTemplate dialog{7, "Two \"groups\"", {0, 0, 50, 60}, controls};
  const auto rc = lines(dialogResource(dialog));
  ASSERT_EQ(rc.size(), 11u);
  EXPECT_EQ(rc[2], "CAPTION \"Two \"\"groups\"\"\"");
  EXPECT_NE(rc[5].find("WS_GROUP"), std::string::npos);
  EXPECT_EQ(rc[6].find("WS_GROUP"), std::string::npos);
  EXPECT_EQ(rc[7].rfind("  CONTROL \"say \"\"hi\"\" \\\\ now\", 3, \"STATIC\", SS_LEFT | WS_GROUP", 0), 0u)
      << rc[7];
  EXPECT_NE(rc[8].find("BS_AUTORADIOBUTTON | WS_TABSTOP | WS_GROUP"), std::string::npos) << "a new run";
  EXPECT_NE(rc[9].find("BS_PUSHBUTTON | WS_TABSTOP | WS_GROUP"), std::string::npos);
}

TEST(DialogResource, AFileHoldsEveryDialogAfterTheHeaders) {
  const std::array<const DialogTemplate*, 2> dialogs{&testDialog(), &testDialog()};
  const std::string file = dialogResourceFile(dialogs);
  EXPECT_NE(file.find("#include <windows.h>\n"), std::string::npos);
  const std::size_t first = file.find("900 DIALOGEX");
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(file.find("900 DIALOGEX", first + 1), std::string::npos);
  EXPECT_LT(file.find("#include"), first);
}

}  // namespace
}  // namespace corvane::tk
