#include "host/plugin_loader.h"

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <vector>

#include "platform/environment.h"
#include "platform/executable.h"
#include "platform/naming.h"

namespace corvane::host {
namespace {

namespace fs = std::filesystem;
const std::string kPluginFile = platform::sharedLibraryFileName("avfile");

}  // namespace

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
  // The real file, not a link to it nor the name a shell found on PATH: the
  // plug-in is installed beside it (a build tree, and any Windows install)
  // or in ../lib (a Linux prefix).
  const fs::path self = platform::executablePath().value_or(argv0 ? argv0 : "");
  const fs::path home = self.has_parent_path() ? self.parent_path() : fs::path(".");
  const fs::path beside = home / kPluginFile;
  std::vector<fs::path> places{beside};
  if (!platform::kLibrariesBesidePrograms) places.push_back(home.parent_path() / "lib" / kPluginFile);
  for (const fs::path& place : places) {
    std::error_code ignored;
    if (fs::is_regular_file(place, ignored)) return place.string();
  }
  if (auto fromEnvironment = platform::environmentValue("CORVANE_PLUGIN")) return *fromEnvironment;
  return beside.string();  // the load error then names where it was looked for
}

void addInstalledProgramsToPath() {
  // Never a guess from argv[0]: "." on PATH would run whatever lies there.
  const std::optional<std::string> self = platform::executablePath();
  if (!self) return;
  const fs::path home = fs::path(*self).parent_path();
  const std::string path =
      platform::environmentValue("PATH").value_or(std::string(platform::kDefaultProgramPath));
  const std::string ours = home.string() + platform::kPathListSeparator + (home / "bin").string();
  platform::setEnvironmentValue("PATH", path.empty() ? ours : path + platform::kPathListSeparator + ours);
}

std::string pluginLookupDescription() {
  const std::string host = "corvane-host" + std::string(platform::kExecutableSuffix);
  if (platform::kLibrariesBesidePrograms)
    return kPluginFile + " beside " + host + ",\nelse to $CORVANE_PLUGIN.";
  return kPluginFile + " beside " + host + " or in ../lib from it,\nelse to $CORVANE_PLUGIN.";
}

}  // namespace corvane::host
