#include "settings/output_controls.h"

#include <cmath>
#include <limits>

namespace corvane::settings {
namespace {

void setOutput(engine::RealtimeEngine& board, engine::Handle switcher, const char* name, std::int32_t value) {
  board.SetOutputControl(switcher, 0, 0, name, engine::ControlType::Selector, &value);
}

}  // namespace

std::int32_t truncateControl(double value) {
  // Out-of-range and NaN values must not be undefined behaviour.
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
  if (value <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

void pushFormatFilterPedestal(engine::RealtimeEngine& board, engine::Handle switcher,
                              OutputSettings& settings, std::int32_t format) {
  setOutput(board, switcher, "control.format", format);
  setOutput(board, switcher, "control.filter", settings.OutputFilter.Get());
  std::int32_t pedestal = settings.Pedestal.Get() != 0 ? 1 : 0;
  setOutput(board, switcher, "control.pedestal", pedestal);
  board.SetInputControl(switcher, 0, 0, "control.pedestal", engine::ControlType::Selector, &pedestal);
}

void PushOutputControls(engine::RealtimeEngine& board, engine::Handle switcher, OutputSettings& settings) {
  const std::int32_t format = settings.Output.Get() == 0 ? 1 : 0;
  pushFormatFilterPedestal(board, switcher, settings, format);
  setOutput(board, switcher, "control.scphase", truncateControl(settings.SCPhase.Get()));
}

}  // namespace corvane::settings
