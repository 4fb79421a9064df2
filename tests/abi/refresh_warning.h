// What the refresh-rate warning's box stored, shared by its scripted and
// terminal tests.
#pragma once

#include <regex>
#include <string>

#include "abi/plugin_process.h"

namespace corvane::abi {

// The INI key the box writes; "(missing)" before any warning stored it.
inline std::string storedWarningKey(const Sandbox& box) {
  std::smatch match;
  const std::string ini = box.readFile(box.iniPath());
  static const std::regex key("Refresh Rate Warning=([^\r\n]*)");
  return std::regex_search(ini, match, key) ? match[1].str() : "(missing)";
}

}  // namespace corvane::abi
