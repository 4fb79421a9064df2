// Points the settings file at a fresh directory for the life of a test.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace corvane::testing {

class ConfigSandbox {
 public:
  ConfigSandbox() {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-cfg-XXXXXX").string();
    dir_ = mkdtemp(pattern.data());
    setenv("CORVANE_CONFIG_DIR", dir_.c_str(), 1);
  }
  ~ConfigSandbox() {
    unsetenv("CORVANE_CONFIG_DIR");
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  ConfigSandbox(const ConfigSandbox&) = delete;
  ConfigSandbox& operator=(const ConfigSandbox&) = delete;

  std::filesystem::path ini() const { return dir_ / "VideoCorvane.ini"; }
  void write(const std::string& text) const { std::ofstream(ini(), std::ios::binary) << text; }

 private:
  std::filesystem::path dir_;
};

}  // namespace corvane::testing
