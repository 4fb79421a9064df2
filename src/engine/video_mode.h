// The video mode, fixed at load from the "VideoMode" setting: frame geometry
// and rate for the life of the loaded library. Shared by every service.
#pragma once

#include <cstdint>

namespace corvane {

struct VideoMode {
  std::uint32_t frameWidth = 720;
  std::uint32_t frameHeight = 480;
  std::uint32_t isNtsc = 1;  // the setting's value as read; 0 for PAL
  std::uint32_t rateNumerator = 29970026;
  std::uint32_t rateDenominator = 1000000;
  float outputRate = 29970026.0f / 1000000.0f;

  std::uint32_t linesPerField() const { return frameHeight / 2; }

  // Non-zero is NTSC (29970026 / 1000000, 480 lines), 0 is PAL (25 / 1, 576).
  static VideoMode fromSetting(std::int32_t videoMode) {
    VideoMode mode;
    if (videoMode == 0) {
      mode.frameHeight = 576;
      mode.isNtsc = 0;
      mode.rateNumerator = 25;
      mode.rateDenominator = 1;
      mode.outputRate = 25.0f;
    } else {
      mode.isNtsc = static_cast<std::uint32_t>(videoMode);
      // Computed wide, stored as float: 29.970026016...
      mode.outputRate = static_cast<float>(static_cast<long double>(29970026) / 1000000);
    }
    return mode;
  }
};

}  // namespace corvane
