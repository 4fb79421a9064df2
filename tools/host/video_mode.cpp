#include "host/video_mode.h"

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "host/command.h"
#include "host/settings_keys.h"
#include "platform/environment.h"
#include "platform/file_status.h"
#include "platform/profile.h"

namespace corvane::host {

namespace fs = std::filesystem;

VideoModeOverride::VideoModeOverride(const std::string& given) {
  // The same spellings as settings --set VideoMode=: PAL, Pal and pal alike.
  std::string mode = given;
  for (char& c : mode) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  if (mode != "ntsc" && mode != "pal")
    throw UsageError("--video-mode takes ntsc or pal, not '" + given + "'");
  std::error_code error;
  const auto folder =
      platform::createUniqueDirectory((fs::temp_directory_path(error) / "corvane-host-mode-").string());
  if (!folder) throw std::runtime_error("cannot make a folder for the --video-mode settings");
  directory_ = *folder;
  const std::string original = platform::profilePath(kSettingsFile);
  const std::string copy = (fs::path(directory_) / kSettingsFile).string();
  // The copy, the lock file the settings store keeps beside it, then the
  // folder, which is empty by then.
  for (const std::string& path :
       {copy, (fs::path(directory_) / ".VideoCorvane.ini.lock").string(), directory_})
    removeOnInterrupt_.push_back(std::make_unique<platform::RemoveOnInterrupt>(path, ""));
  // A file the plug-in would refuse (a FIFO, a huge file) is not copied: the
  // run starts from the defaults, as the plug-in would.
  if (!platform::profileRefusal(original) && fs::exists(original, error))
    fs::copy_file(original, copy, error);
  if (error || !platform::writeProfileValue(copy, kSettingsSection, "VideoMode", mode == "pal" ? "0" : "1"))
    throw std::runtime_error("cannot prepare the settings for --video-mode " + mode);
  platform::setEnvironmentValue("CORVANE_CONFIG_DIR", directory_);
}

VideoModeOverride::~VideoModeOverride() {
  std::error_code ignored;
  fs::remove_all(directory_, ignored);
}

void warnAboutUnreadableVideoMode() {
  const std::string path = platform::profilePath(kSettingsFile);
  // The plug-in says itself why it refuses a file; once is enough.
  if (platform::profileRefusal(path)) return;
  const auto value = platform::readProfileValue(path, kSettingsSection, "VideoMode");
  if (!value || readsAsNumber(*value)) return;
  warn("VideoMode=" + *value + " in " + path +
       " is not a mode the plug-in reads: it runs in NTSC and writes VideoMode=1 back "
       "(for PAL: corvane-host settings --set VideoMode=pal)");
}

}  // namespace corvane::host
