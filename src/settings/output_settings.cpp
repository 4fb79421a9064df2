#include "settings/output_settings.h"

#include "settings/config_store.h"
#include "settings/output_controls.h"

namespace corvane::settings {

namespace {
VideoMode readVideoMode() { return VideoMode::fromSetting(ReadConfigInt("VideoMode", 1)); }
}  // namespace

VideoMode loadVideoModeGeometry() {
  // A bad value is replaced in the file by the default at the first read, so
  // the later reads agree with it.
  VideoMode mode;
  mode.frameWidth = readVideoMode().frameWidth;
  mode.frameHeight = readVideoMode().frameHeight;
  mode.isNtsc = readVideoMode().isNtsc;
  return mode;
}

void loadVideoModeRate(VideoMode& mode) {
  mode.rateNumerator = readVideoMode().rateNumerator;
  const VideoMode last = readVideoMode();
  mode.rateDenominator = last.rateDenominator;
  mode.outputRate = last.outputRate;
}

StartupSettings::StartupSettings() : ForceNoFrameDrop(ReadConfigInt("ForceNoFrameDrop", 1)) {
  StopRecordingWhenFramesAreDropped = ReadConfigInt("StopRecordingWhenFramesAreDropped", 0) != 0 ? 1 : 0;
}

OutputSettings::OutputSettings()
    : Output(ReadConfigInt("Output", 0)),
      VideoMode(ReadConfigInt("VideoMode", 1)),
      Pedestal(ReadConfigInt("Pedestal", 1)),
      OutputFilter(ReadConfigInt("OutputFilter", 2)),
      SCPhase(static_cast<double>(ReadConfigInt("SCPhase", 0))) {}

void OutputSettings::save() {
  WriteConfigInt("Output", Output.Get());
  WriteConfigInt("VideoMode", VideoMode.Get());
  WriteConfigInt("Pedestal", Pedestal.Get());
  WriteConfigInt("OutputFilter", OutputFilter.Get());
  // The same truncation the board got; a plain cast of an out-of-range
  // value typed into the edit box would be undefined.
  WriteConfigInt("SCPhase", truncateControl(SCPhase.Get()));
}

}  // namespace corvane::settings
