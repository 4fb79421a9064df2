// The controls of the "Warning !" dialog (resource 103). The toolkit's front
// ends and the Windows resource generator both read this one table.
#pragma once

#include <array>
#include <cstdint>

#include "engine/dialog.h"

namespace corvane::plugin {

inline constexpr std::int32_t kWarningDialogId = 103;
inline constexpr std::int32_t kWarningTextId = 1008;
inline constexpr std::int32_t kDoNotShowAgainId = 1004;
inline constexpr std::array<tk::ControlTemplate, 4> kWarningDialogControls{{
    {tk::kNoControlId, tk::ControlKind::GroupBox, {5, 5, 200, 90}, ""},
    {kWarningTextId, tk::ControlKind::StaticText, {10, 15, 191, 62}, "Static"},
    {kDoNotShowAgainId, tk::ControlKind::CheckBox, {10, 80, 118, 10}, "Do not show this message again"},
    {tk::kCommandOk, tk::ControlKind::DefaultPushButton, {155, 100, 50, 14}, "OK"},
}};
inline constexpr tk::DialogTemplate kWarningDialogTemplate{
    kWarningDialogId, "Warning !", {0, 0, 212, 119}, kWarningDialogControls};

}  // namespace corvane::plugin
