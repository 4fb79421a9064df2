// What the output dialog tests share: the call that opens the dialog and a
// key's value in the settings file.
#pragma once

#include <cstdint>
#include <regex>
#include <string>

#include "host/host_record.h"
#include "host/plugin_loader.h"

namespace corvane::abi {

inline std::string iniKey(const std::string& ini, const std::string& key) {
  std::smatch match;
  const std::regex pattern("\n" + key + "=([^\r\n]*)");
  return std::regex_search(ini, match, pattern) ? match[1].str() : "(missing)";
}

inline std::int32_t openDialog(const host::AvfileApi& api, std::uint32_t flags) {
  host::RecordBuffer settings(16, 0);
  settings.setU32(4, flags);
  return api.AVFILE_SetSinkSettings(settings.data());
}

}  // namespace corvane::abi
