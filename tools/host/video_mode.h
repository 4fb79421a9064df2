// The plug-in's video mode, fixed when it loads from the settings file: a
// one-run choice that leaves the user's file alone, and a warning when the
// file holds a value the plug-in cannot read as a mode.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/interrupt.h"

namespace corvane::host {

// For its lifetime, the plug-in loads its settings from a private copy of the
// user's file with VideoMode set from mode ("ntsc" or "pal"; anything else is
// a UsageError). The copy goes away with the object; the user's file is
// neither read for writing nor changed.
class VideoModeOverride {
 public:
  explicit VideoModeOverride(const std::string& mode);
  ~VideoModeOverride();
  VideoModeOverride(const VideoModeOverride&) = delete;
  VideoModeOverride& operator=(const VideoModeOverride&) = delete;

 private:
  std::string directory_;
  std::vector<std::unique_ptr<platform::RemoveOnInterrupt>> removeOnInterrupt_;
};

// A warning when VideoMode in the settings file is not a number: the plug-in
// would take it as NTSC and write 1 over it.
void warnAboutUnreadableVideoMode();

}  // namespace corvane::host
