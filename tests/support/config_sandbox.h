// Points the settings file at a fresh directory for the life of a test.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "support/system.h"
#include "support/temp_dir.h"

namespace corvane::testing {

class ConfigSandbox {
 public:
  ConfigSandbox() : dir_(makeTempDirectory("corvane-cfg-")) {
    setEnvironmentValue("CORVANE_CONFIG_DIR", dir_.string());
  }
  ~ConfigSandbox() {
    unsetEnvironmentValue("CORVANE_CONFIG_DIR");
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
