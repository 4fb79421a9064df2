// Sends the output settings to the board: format, filter, pedestal (on the
// output and then the input side) and SC phase. Used at load and by the
// output dialog on every change.
#pragma once

#include "engine/realtime_engine.h"
#include "settings/output_settings.h"

namespace corvane::settings {

// Truncation toward zero, the conversion of every double control value.
std::int32_t truncateControl(double value);

// format is 1 for Component (Output 0), else 0.
void PushOutputControls(engine::RealtimeEngine& board, engine::Handle switcher, OutputSettings& settings);

// Steps 2 to 4 of the push with a given format: what the source buttons of
// the dialog send before they change Output.
void pushFormatFilterPedestal(engine::RealtimeEngine& board, engine::Handle switcher,
                              OutputSettings& settings, std::int32_t format);

}  // namespace corvane::settings
