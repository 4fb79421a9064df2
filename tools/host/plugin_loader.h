// Loads the plug-in and resolves all 53 exports; a missing one is an error
// that names it.
#pragma once

#include <string>

#include "host/avfile_api.h"
#include "platform/dynamic_library.h"

namespace corvane::host {

class LoadedPlugin {
 public:
  // Throws std::runtime_error with a one-line explanation.
  explicit LoadedPlugin(const std::string& path);
  const AvfileApi& api() const { return api_; }
  // Unloads now (the plug-in saves its settings).
  void unload() { library_.close(); }

 private:
  platform::DynamicLibrary library_;
  AvfileApi api_;
};

// The plug-in a host without --plugin loads: libavfile.so beside the real
// corvane-host executable (links resolved), else in ../lib from it, else
// $CORVANE_PLUGIN. On Windows, where a program's DLLs live beside it,
// avfile.dll beside corvane-host.exe, else $CORVANE_PLUGIN. argv0 stands in
// when the system cannot name the executable.
std::string defaultPluginPath(const char* argv0);
// That rule in words, for the usage text (two lines, no final line break).
std::string pluginLookupDescription();

// The plug-in starts its preview programs (ScryOut, ScryIn) from PATH; the
// ones installed with the host are found too: PATH gets the real host
// executable's folder and its bin/ (where a build tree keeps them) appended,
// so a program the user put on PATH still comes first. Nothing is added
// when the system does not name the executable.
void addInstalledProgramsToPath();

}  // namespace corvane::host
