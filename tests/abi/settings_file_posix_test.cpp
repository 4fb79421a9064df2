// Special files in the settings file's place, which only POSIX systems make:
// a named pipe, which would block a reader for ever, and a link to a device
// that never ends. Each is left as it was and the defaults are used.
#include <sys/stat.h>

#include <filesystem>

#include "abi/settings_file_cases.h"

namespace corvane::abi {
namespace {

namespace fs = std::filesystem;

TEST_F(SettingsFile, APipeOrADeviceInItsPlaceIsLeftAlone) {
  const fs::path ini = box_.iniPath();
  const SettingsFileCase cases[] = {
      {"a named pipe", [&] { ASSERT_EQ(::mkfifo(ini.c_str(), 0644), 0); }, "descriptors", nullptr,
       "is not a regular file: the defaults are used", 0, [&] { return fs::is_fifo(ini); }},
      {"a link to /dev/zero", [&] { fs::create_symlink("/dev/zero", ini); }, "descriptors", nullptr,
       "is not a regular file: the defaults are used", 0,
       [&] {
         // Nothing made beside the link's target either.
         return fs::is_symlink(ini) && fs::read_symlink(ini) == "/dev/zero" && !fs::exists("/dev/.zero.lock");
       }},
  };
  for (const SettingsFileCase& c : cases) check(c);
}

}  // namespace
}  // namespace corvane::abi
