// The settings of the board's output side and the start-up settings, as
// observable variables that the output dialog edits and the devices read.
// Changes reach the file only at unload (save()), except ForceNoFrameDrop,
// which the dialog writes at every click.
#pragma once

#include <cstdint>

#include "engine/toolkit.h"
#include "engine/video_mode.h"

namespace corvane::settings {

// The video mode's geometry (width, height, IsNtsc) and its rate
// (numerator, denominator, OutputRate): the "VideoMode" key is read again for
// every value, in the order the start-up reads them.
VideoMode loadVideoModeGeometry();
void loadVideoModeRate(VideoMode& mode);

// Read at load before the board is opened.
struct StartupSettings {
  tk::mINT32 ForceNoFrameDrop;
  std::uint8_t StopRecordingWhenFramesAreDropped = 0;

  StartupSettings();
};

struct OutputSettings {
  tk::mINT32 Output;        // 0 Component, 1 Y/C
  tk::mINT32 VideoMode;     // non-zero NTSC, 0 PAL; takes effect at the next load
  tk::mINT32 Pedestal;      // non-zero: pedestal kept
  tk::mINT32 OutputFilter;  // 0 to 3, not range-checked
  tk::mFLT64 SCPhase;
  // The SC phase slider's fixed parameters.
  tk::mFLT64 SliderLow{-127.0};
  tk::mFLT64 SliderHigh{127.0};
  tk::mFLT64 SliderScale{32.0};
  tk::mFLT64 SliderOrigin{0.0};

  // Loads every value from the settings file (writing back missing defaults).
  OutputSettings();
  // Writes Output, VideoMode, Pedestal, OutputFilter, then SCPhase truncated.
  void save();
};

}  // namespace corvane::settings
