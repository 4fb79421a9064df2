// The controls of the "Input Settings" dialog (resource 101). The toolkit's
// front ends and the Windows resource generator both read this one table.
#pragma once

#include <array>
#include <cstdint>

#include "engine/dialog.h"

namespace corvane::record {

inline constexpr std::int32_t kInputDialogId = 101;
inline constexpr std::int32_t kStopOnDropBoxId = 1004;
inline constexpr std::int32_t kFirstSourceId = 1007;
inline constexpr std::int32_t kPreviewBoxId = 1025;
inline constexpr std::array<tk::ControlTemplate, 38> kInputDialogControls{{
    {tk::kNoControlId, tk::ControlKind::GroupBox, {5, 3, 295, 127}, "Input Controls"},
    {tk::kNoControlId, tk::ControlKind::StaticText, {25, 14, 24, 8}, "Source"},
    {kFirstSourceId, tk::ControlKind::RadioButton, {35, 23, 49, 10}, "Composite"},
    {kFirstSourceId + 1, tk::ControlKind::RadioButton, {35, 33, 29, 10}, "Y/C"},
    {kFirstSourceId + 2, tk::ControlKind::RadioButton, {35, 43, 52, 10}, "Component"},
    {kFirstSourceId + 3, tk::ControlKind::RadioButton, {35, 53, 28, 10}, "SDI"},
    {tk::kNoControlId, tk::ControlKind::StaticText, {25, 65, 34, 8}, "Recording"},
    {kStopOnDropBoxId, tk::ControlKind::CheckBox, {35, 75, 132, 10}, "Stop recording if frames are dropped"},
    {tk::kNoControlId,
     tk::ControlKind::StaticText,
     {50, 86, 210, 17},
     "(Warning : Recording stops if the incorrect video format is used on input, i.e. PAL instead of NTSC.)"},
    {tk::kNoControlId, tk::ControlKind::StaticText, {25, 105, 28, 8}, "Preview"},
    {kPreviewBoxId, tk::ControlKind::CheckBox, {35, 115, 101, 10}, "Show On Screen Preview"},
    {tk::kNoControlId, tk::ControlKind::GroupBox, {5, 130, 295, 75}, "Color Controls"},
    {tk::kNoControlId, tk::ControlKind::StaticText, {10, 146, 32, 8}, "Contrast"},
    {1001, tk::ControlKind::Placeholder, {45, 146, 220, 10}, ""},
    {1017, tk::ControlKind::Placeholder, {267, 146, 28, 10}, ""},
    {tk::kNoControlId, tk::ControlKind::StaticText, {10, 159, 32, 8}, "Brightness"},
    {1002, tk::ControlKind::Placeholder, {45, 159, 220, 10}, ""},
    {1022, tk::ControlKind::Placeholder, {267, 159, 28, 10}, ""},
    {tk::kNoControlId, tk::ControlKind::StaticText, {10, 172, 32, 8}, "Saturation"},
    {1003, tk::ControlKind::Placeholder, {45, 172, 220, 10}, ""},
    {1023, tk::ControlKind::Placeholder, {267, 172, 28, 10}, ""},
    {tk::kNoControlId, tk::ControlKind::StaticText, {10, 185, 32, 8}, "Hue"},
    {1006, tk::ControlKind::Placeholder, {45, 185, 220, 10}, ""},
    {1024, tk::ControlKind::Placeholder, {267, 185, 28, 10}, ""},
    {tk::kNoControlId, tk::ControlKind::GroupBox, {5, 207, 295, 75}, "Gain Controls"},
    {tk::kNoControlId, tk::ControlKind::StaticText, {10, 222, 32, 8}, "U Gain"},
    {1012, tk::ControlKind::Placeholder, {45, 222, 220, 10}, ""},
    {1026, tk::ControlKind::Placeholder, {267, 222, 28, 10}, ""},
    {tk::kNoControlId, tk::ControlKind::StaticText, {10, 236, 32, 8}, "V Gain"},
    {1013, tk::ControlKind::Placeholder, {45, 236, 220, 10}, ""},
    {1027, tk::ControlKind::Placeholder, {267, 236, 28, 10}, ""},
    {tk::kNoControlId, tk::ControlKind::StaticText, {10, 249, 32, 8}, "U Offset"},
    {1011, tk::ControlKind::Placeholder, {45, 249, 220, 10}, ""},
    {1028, tk::ControlKind::Placeholder, {267, 249, 28, 10}, ""},
    {tk::kNoControlId, tk::ControlKind::StaticText, {10, 263, 32, 8}, "V Offset"},
    {1015, tk::ControlKind::Placeholder, {45, 263, 220, 10}, ""},
    {1029, tk::ControlKind::Placeholder, {267, 263, 28, 10}, ""},
    {tk::kCommandCancel, tk::ControlKind::DefaultPushButton, {250, 285, 50, 14}, "Close"},
}};
inline constexpr tk::DialogTemplate kInputDialogTemplate{
    kInputDialogId, "Input Settings", {0, 0, 307, 303}, kInputDialogControls};

}  // namespace corvane::record
