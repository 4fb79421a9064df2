#include "host/plugin_loader.h"

#include <stdexcept>

#include "platform/environment.h"

namespace corvane::host {

LoadedPlugin::LoadedPlugin(const std::string& path) {
  std::string error;
  library_ = platform::DynamicLibrary::open(path, error);
  if (!library_.loaded()) throw std::runtime_error("cannot load the plug-in " + path + ": " + error);
#define CORVANE_RESOLVE(name, type)                           \
  api_.name = reinterpret_cast<type>(library_.symbol(#name)); \
  if (api_.name == nullptr) throw std::runtime_error("the plug-in " + path + " does not export " #name);
  CORVANE_AVFILE_EXPORTS(CORVANE_RESOLVE)
#undef CORVANE_RESOLVE
}

std::string defaultPluginPath(const char* argv0) {
  if (auto fromEnvironment = platform::environmentValue("CORVANE_PLUGIN")) return *fromEnvironment;
  std::string self = argv0 ? argv0 : "";
  const auto slash = self.rfind('/');
  return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/libavfile.so";
}

}  // namespace corvane::host
