// The settings file as users and accidents leave it: a folder in its place,
// a file far too big, and the number of times a load and an unload rewrite it.
#include <algorithm>
#include <filesystem>
#include <string>

#include "abi/settings_file_cases.h"

namespace corvane::abi {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCompleteKeys =
    "VideoMode=1\nForceNoFrameDrop=1\nStopRecordingWhenFramesAreDropped=0\nRefresh Rate Warning=1\n"
    "Output=0\nPedestal=1\nOutputFilter=2\nSCPhase=0\nInput=0\nVeltrixScryOut=0\nVeltrixScryIn=0\n";

std::string colourKeys() {
  std::string keys;
  for (const char* control :
       {"Contrast", "Brightness", "Saturation", "Hue", "UGain", "VGain", "UOffset", "VOffset", "AGC", "HYPK"})
    for (const char* source : {"Composite", "YC", "Component", "SDI"})
      keys += std::string(control) + "_" + source + "=0\n";
  return keys;
}

TEST_F(SettingsFile, OddFilesAreLeftAloneAndEachLoadOrUnloadRewritesItOnceAtMost) {
  const fs::path ini = box_.iniPath();
  const std::string huge = "; " + std::string(10 << 20, 'x') + "\n[VideoCorvane Configuration]\nOutput=1\n";
  const std::string complete = "[VideoCorvane Configuration]\n" + std::string(kCompleteKeys) + colourKeys();
  const auto holds = [&](std::initializer_list<const char*> lines) {
    const std::string text = box_.readFile(ini);
    return std::all_of(lines.begin(), lines.end(), [&](const char* line) {
      return text.find(std::string("\n") + line + "\n") != std::string::npos;
    });
  };
  const SettingsFileCase cases[] = {
      {"a folder", [&] { fs::create_directory(ini); }, "descriptors", nullptr,
       "is not a regular file: the defaults are used", 0,
       [&] { return fs::is_directory(ini) && fs::is_empty(ini); }},
      {"a 10 MB line", [&] { box_.writeFile(ini, huge); }, "descriptors", nullptr,
       "is larger than 1 MB: the defaults are used", 0, [&] { return box_.readFile(ini) == huge; }},
      // The load writes back every missing key: one rewrite for all of them.
      {"a file with one key", [&] { box_.writeFile(ini, "[VideoCorvane Configuration]\nOutput=1\n"); },
       "descriptors", nullptr, nullptr, 1,
       [&] {
         return holds({"Output=1", "HYPK_SDI=2", "VideoMode=1"});
       }},
      {"every key present", [&] { box_.writeFile(ini, complete); }, "descriptors", nullptr, nullptr, 0,
       [&] { return box_.readFile(ini) == complete; }},
      // Three values changed in the dialog: one rewrite at unload.
      {"three changes to save", [&] { box_.writeFile(ini, complete); }, "output-settings",
       "dialog 102\nclick 1013\nclick 1019\nset 1017 -12.9\n", nullptr, 1,
       [&] {
         return holds({"Output=1", "OutputFilter=1", "SCPhase=-12"});
       }},
  };
  for (const SettingsFileCase& c : cases) check(c);
}

}  // namespace
}  // namespace corvane::abi
