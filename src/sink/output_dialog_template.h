// The controls of the "Output Settings" dialog (resource 102). The toolkit's
// front ends and the Windows resource generator both read this one table.
#pragma once

#include <array>
#include <cstdint>

#include "engine/dialog.h"

namespace corvane::sink {

inline constexpr std::int32_t kOutputDialogId = 102;
inline constexpr std::int32_t kPedestalBoxId = 1004;
inline constexpr std::int32_t kNoFrameDropBoxId = 1005;
inline constexpr std::int32_t kPreviewBoxId = 1006;
inline constexpr std::int32_t kNtscId = 1007;
inline constexpr std::int32_t kPalId = 1008;
inline constexpr std::int32_t kComponentId = 1012;
inline constexpr std::int32_t kYcId = 1013;
inline constexpr std::int32_t kPhaseSliderId = 1016;
inline constexpr std::int32_t kPhaseEditId = 1017;
inline constexpr std::int32_t kFirstFilterId = 1018;
inline constexpr std::int32_t kFilterCount = 4;
inline constexpr std::array<tk::ControlTemplate, 23> kOutputDialogControls{{
    {tk::kNoControlId, tk::ControlKind::GroupBox, {5, 3, 295, 92}, "Output Controls"},
    {tk::kNoControlId,
     tk::ControlKind::StaticText,
     {25, 14, 198, 8},
     "Source (Note : Composite and SDI are always enabled.)"},
    {kComponentId, tk::ControlKind::RadioButton, {35, 23, 89, 10}, "Component"},
    {kYcId, tk::ControlKind::RadioButton, {35, 33, 28, 10}, "Y/C"},
    {tk::kNoControlId, tk::ControlKind::StaticText, {25, 46, 34, 8}, "Playback"},
    {kNoFrameDropBoxId,
     tk::ControlKind::CheckBox,
     {35, 56, 153, 10},
     "Force no frames to be dropped on playback"},
    {tk::kNoControlId, tk::ControlKind::StaticText, {25, 70, 34, 8}, "Preview"},
    {kPreviewBoxId, tk::ControlKind::CheckBox, {35, 80, 153, 10}, "Show On Screen Preview"},
    {tk::kNoControlId, tk::ControlKind::GroupBox, {5, 95, 295, 66}, "Output Format"},
    {kNtscId, tk::ControlKind::RadioButton, {35, 107, 35, 10}, "NTSC"},
    {kPalId, tk::ControlKind::RadioButton, {35, 117, 29, 10}, "PAL"},
    {kPedestalBoxId,
     tk::ControlKind::CheckBox,
     {10, 132, 232, 10},
     "Remove NTSC Pedestal (Japanese NTSC Support)"},
    {tk::kNoControlId,
     tk::ControlKind::StaticText,
     {10, 146, 259, 8},
     "Note : You must restart Veltrix for these settings to come into effect."},
    {tk::kNoControlId, tk::ControlKind::GroupBox, {5, 161, 295, 49}, "Output Parameters"},
    {tk::kNoControlId, tk::ControlKind::StaticText, {10, 176, 32, 8}, "SC Phase"},
    {kPhaseSliderId, tk::ControlKind::Placeholder, {45, 175, 220, 10}, ""},
    {kPhaseEditId, tk::ControlKind::Placeholder, {267, 175, 28, 10}, ""},
    {tk::kNoControlId, tk::ControlKind::StaticText, {10, 191, 16, 8}, "Filter"},
    {kFirstFilterId, tk::ControlKind::PushLikeCheckBox, {45, 191, 55, 12}, "0"},
    {kFirstFilterId + 1, tk::ControlKind::PushLikeCheckBox, {100, 191, 55, 12}, "1"},
    {kFirstFilterId + 2, tk::ControlKind::PushLikeCheckBox, {155, 191, 55, 12}, "2"},
    {kFirstFilterId + 3, tk::ControlKind::PushLikeCheckBox, {210, 191, 55, 12}, "3"},
    {tk::kCommandCancel, tk::ControlKind::DefaultPushButton, {250, 215, 50, 14}, "Close"},
}};
inline constexpr tk::DialogTemplate kOutputDialogTemplate{
    kOutputDialogId, "Output Settings", {0, 0, 307, 233}, kOutputDialogControls};

}  // namespace corvane::sink
