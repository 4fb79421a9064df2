// What the profile tests share: a fresh folder with the settings file's path
// in it, the section the plug-in uses, and the folder's names.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace corvane::platform::profile_testing {

inline constexpr const char* kSection = "VideoCorvane Configuration";
inline const std::string kModeOne = "[VideoCorvane Configuration]\nVideoMode=1\n";

class ProfileTest : public ::testing::Test {
 protected:
  testing::TempDir dir_;
  std::string ini_ = dir_ / "VideoCorvane.ini";
};

inline std::vector<std::string> entriesOf(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace corvane::platform::profile_testing
