// What the file input and file output shims need from the loaded plug-in: the
// open-file registry and the video mode fixed at load. The module installs it
// once the registry exists and removes it before the registry goes away.
#pragma once

#include "engine/video_mode.h"
#include "qvf/registry.h"

namespace corvane::exports {

struct FileServices {
  qvf::OpenFileRegistry& registry;
  VideoMode mode;
};

// Throws std::logic_error when the plug-in is not loaded (reported as
// "Unknown Internal Error" by the guard).
FileServices& fileServices();
void installFileServices(FileServices* services);

}  // namespace corvane::exports
